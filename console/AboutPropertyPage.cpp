#include "console/AboutPropertyPage.h"

#include <QWidget>  // PropertyPage.h hands out its QPointer<QWidget> as QWidget*

#include "resources/resource.h"

CAboutPropertyPage::CAboutPropertyPage() : CPropertyPage(IDD_ABOUT) {}

CAboutPropertyPage::~CAboutPropertyPage() = default;

void CAboutPropertyPage::DoDataExchange(CDataExchange* pDX) {
    CPropertyPage::DoDataExchange(pDX);
}
