#include "serve/ServeSnapshot.h"

const char* LinkStateWord(LinkState state) {
    switch (state) {
        case LinkState::Answering:
            return "answering";
        case LinkState::NoReply:
            return "no-reply";
        case LinkState::PortLost:
            return "port-lost";
        case LinkState::Starting:
            break;
    }
    return "starting";
}
