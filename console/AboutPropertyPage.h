// The fourth tab, "版本信息": the emblem (bitmap 130) above the product line,
// the version and the program's name. Nothing on it can be operated: it has
// no fields and no buttons, so showing it touches no port and shows no box,
// and leaving it is always allowed (an empty exchange cannot fail).
#pragma once

#include "console/windowing/PropertyPage.h"

class CAboutPropertyPage : public CPropertyPage {
public:
    CAboutPropertyPage();
    ~CAboutPropertyPage() override;

protected:
    // Empty: the page's controls are all static.
    void DoDataExchange(CDataExchange* pDX) override;
};
