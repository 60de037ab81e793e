#include "console/AboutPropertyPage.h"

#include "resources/resource.h"

CAboutPropertyPage::CAboutPropertyPage() : CPropertyPage(IDD_ABOUT) {}

CAboutPropertyPage::~CAboutPropertyPage() = default;

void CAboutPropertyPage::DoDataExchange(CDataExchange* pDX) {
    CPropertyPage::DoDataExchange(pDX);
}
