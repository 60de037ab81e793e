#include "console/ParentConsole.h"

void UseParentConsole() {}  // a program started from a terminal has its streams
