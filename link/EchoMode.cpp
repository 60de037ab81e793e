#include "link/EchoMode.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

bool ParseEchoMode(const char* text, EchoMode& mode) {
    if (text == nullptr) {
        return false;
    }
    for (EchoMode m : {EchoMode::Off, EchoMode::On, EchoMode::Auto}) {
        if (std::strcmp(text, EchoModeName(m)) == 0) {
            mode = m;
            return true;
        }
    }
    return false;
}

EchoMode EchoModeOrAuto(const char* text) {
    EchoMode mode = EchoMode::Auto;
    (void)ParseEchoMode(text, mode);
    return mode;
}

const char* EchoModeName(EchoMode mode) {
    switch (mode) {
        case EchoMode::Off:
            return "off";
        case EchoMode::On:
            return "on";
        case EchoMode::Auto:
            return "auto";
    }
    return "auto";
}

EchoMode EchoModeFromEnvironment(const char** refused) {
    const char* text = std::getenv("K40_ECHO");
    EchoMode named;
    *refused = text != nullptr && !ParseEchoMode(text, named) ? text : nullptr;
    return EchoModeOrAuto(text);
}
