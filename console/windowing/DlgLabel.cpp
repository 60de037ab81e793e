#include "console/windowing/DlgLabel.h"

int FindEditLabel(const DlgTemplate& tpl, std::size_t nEdit) {
    const DlgControl& edit = tpl.controls[nEdit];
    int best = -1;
    int bestScore = 0;
    for (std::size_t i = 0; i < tpl.count; ++i) {
        const DlgControl& c = tpl.controls[i];
        if (c.kind != CtlKind::Static || c.text == nullptr || c.text[0] == u'\0') {
            continue;
        }
        const bool sameLine = c.y < edit.y + edit.cy && edit.y < c.y + c.cy;
        const bool across = c.x < edit.x + edit.cx && edit.x < c.x + c.cx;
        int score = -1;
        if (sameLine && c.x + c.cx <= edit.x + 2) {
            score = edit.x - (c.x + c.cx);  // a label on the line wins over one above
        } else if (across && c.y + c.cy <= edit.y + 2) {
            score = 10000 + edit.y - (c.y + c.cy);
        }
        if (score >= 0 && (best < 0 || score < bestScore)) {
            best = static_cast<int>(i);
            bestScore = score;
        }
    }
    return best;
}
