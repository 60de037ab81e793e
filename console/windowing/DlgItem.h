// One control of a built page, in dialog order: its window object, owned by
// the page, and the layout entry it was built from.
#pragma once

#include <memory>

#include "console/windowing/Wnd.h"
#include "resources/DialogTemplate.h"

struct DlgItem {
    std::unique_ptr<CWnd> wnd;
    const DlgControl* ctl;
};
