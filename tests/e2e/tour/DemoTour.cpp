// k40tour: the demo's guided tour of the real program, for machines without a
// display. It builds the same main sheet as k40tool, presses what an engineer
// presses on first contact with a unit (set the port, read the analog values,
// read the status bits, switch the system to manual, read the bits again) and
// saves a screenshot after each step, with every message box beside it.
//
//   K40_COM1=/path/to/unit k40tour --out DIR
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QIcon>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <cstdio>
#include <cstring>

#include "console/MyPropertySheet.h"
#include "console/ReadPropertyPage.h"
#include "console/RtuToolApp.h"
#include "console/windowing/MessageBox.h"
#include "console/windowing/qt/GbkText.h"
#include "console/windowing/qt/QtWindows.h"
#include "resources/resource.h"

namespace {

// Message boxes are drawn and saved instead of waiting for a click.
class CTourBoxes : public IMessageBoxService {
public:
    int Show(const std::string& captionUtf8, const std::string& textUtf8, UINT nType) override {
        const QString caption = QString::fromStdString(captionUtf8);
        const QString text = QString::fromStdString(textUtf8);
        const auto icon = (nType & MB_ICONMASK) == MB_ICONSTOP          ? QMessageBox::Critical
                          : (nType & MB_ICONMASK) == MB_ICONINFORMATION ? QMessageBox::Information
                                                                        : QMessageBox::Warning;
        QMessageBox box(icon, caption, text, QMessageBox::Ok);
        box.button(QMessageBox::Ok)->setText(QString::fromUtf16(u"确定"));
        box.show();
        QApplication::processEvents();
        m_caption = caption;
        m_box = box.grab();
        std::printf("    message: %s\n", text.toUtf8().replace('\n', " / ").constData());
        m_texts << text;
        return IDOK;
    }

    void Expect() {
        m_box = QPixmap();
        m_texts.clear();
    }
    const QStringList& Texts() const { return m_texts; }

    // The sheet as the engineer saw it: the box, with its caption bar, over
    // the middle of the window.
    QPixmap Compose(const QPixmap& sheet) const {
        if (m_box.isNull()) {
            return sheet;
        }
        QPixmap shot = sheet;
        QPainter p(&shot);
        const int bar = 24;
        const QRect frame((shot.width() - m_box.width()) / 2 - 2,
                          (shot.height() - m_box.height() - bar) / 2 - 2, m_box.width() + 4,
                          m_box.height() + bar + 4);
        p.fillRect(frame, QColor(0x30, 0x50, 0x80));
        p.setPen(Qt::white);
        p.drawText(frame.adjusted(8, 0, 0, -m_box.height() - 4), Qt::AlignVCenter, m_caption);
        p.drawPixmap(frame.left() + 2, frame.top() + bar + 2, m_box);
        return shot;
    }

private:
    QString m_caption;
    QPixmap m_box;
    QStringList m_texts;
};

class CTour {
public:
    CTour(CMyPropertySheet& sheet, CTourBoxes& boxes, const QDir& out)
        : m_sheet(sheet), m_boxes(boxes), m_out(out) {}

    // Selects a tab, presses a button on it (0: none) and saves the sheet;
    // the step went well when the boxes shown are exactly those expected.
    bool Step(const char* name, int page, int button, const char* what,
              const QStringList& expected = {}) {
        std::printf("%s\n", what);
        if (page >= m_sheet.GetPageCount() || !m_sheet.SetActivePage(page)) {
            std::printf("    (page %d is not there)\n", page + 1);
            return false;
        }
        QApplication::processEvents();
        m_boxes.Expect();
        if (button != 0) {
            auto* b = qobject_cast<QAbstractButton*>(
                WidgetOf(m_sheet.GetActivePage()->GetDlgItem(button)));
            if (b == nullptr) {
                std::printf("    (button %d is not there)\n", button);
                return false;
            }
            b->click();
            QApplication::processEvents();
        }
        const QString path = m_out.filePath(QString(name) + ".png");
        WithTitleBar(m_boxes.Compose(DialogOf(m_sheet)->grab())).save(path, "PNG");
        m_saved << path;
        if (m_boxes.Texts() != expected) {
            std::printf("    (expected: %s)\n", expected.join(" / ").toUtf8().constData());
            m_bFailed = true;
        }
        return true;
    }

    // The list of the read page, row r, column c.
    QString Cell(int row, int col) const {
        auto* page = dynamic_cast<CReadPropertyPage*>(m_sheet.GetPage(1));
        if (page == nullptr || row >= page->m_List.GetItemCount()) {
            return {};
        }
        return FromGbk(page->m_List.GetItemText(row, col).c_str());
    }
    void Require(bool ok, const char* what) {
        if (!ok) {
            std::printf("    (not as expected: %s)\n", what);
            m_bFailed = true;
        }
    }
    bool Failed() const { return m_bFailed; }

    const QStringList& Saved() const { return m_saved; }

private:
    // Xvfb has no window manager: draw the caption bar the window would have.
    QPixmap WithTitleBar(const QPixmap& body) const {
        const int bar = 28;
        QPixmap shot(body.width(), body.height() + bar);
        shot.fill(QColor(0x30, 0x50, 0x80));
        QPainter p(&shot);
        p.drawPixmap(6, 6, QApplication::windowIcon().pixmap(16, 16));
        p.setPen(Qt::white);
        p.drawText(QRect(28, 0, body.width() - 28, bar), Qt::AlignVCenter,
                   DialogOf(m_sheet)->windowTitle());
        p.drawPixmap(0, bar, body);
        return shot;
    }

    CMyPropertySheet& m_sheet;
    CTourBoxes& m_boxes;
    QDir m_out;
    QStringList m_saved;
    bool m_bFailed = false;
};

}  // namespace

int main(int argc, char* argv[]) {
    QString outDir = "demo-screenshots";
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--out") == 0) {
            outDir = QString::fromLocal8Bit(argv[i + 1]);
        }
    }
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QApplication::setWindowIcon(QIcon(":/resources/icon128.png"));
    QDir out(outDir);
    out.mkpath(".");

    CTourBoxes boxes;
    SetMessageBoxService(&boxes);
    CMyPropertySheet sheet;
    sheet.Create();
    DialogOf(sheet)->show();
    QApplication::processEvents();

    CTour tour(sheet, boxes, out);
    const auto u = [](const char16_t* text) { return QString::fromUtf16(text); };
    tour.Step("01-start", 0, 0, "The program starts on the serial settings page.");
    tour.Step("02-set-port", 0, 1030, "Press \"设  置\": COM1 at 9600 baud, slave 1.",
              {u(u"串口初始化成功!")});
    tour.Step("03-read-ai", 1, 1008, "Read data: \"03读AI\", the nine analog values.");
    tour.Require(tour.Cell(8, 0) == "008" && !tour.Cell(8, 2).trimmed().isEmpty(),
                 "nine analog rows");
    tour.Step("04-read-di", 1, 1006, "Read data: \"01读DI\", the fifteen status bits.");
    tour.Require(tour.Cell(15, 0) == "015", "sixteen status rows");
    tour.Step("05-manual", 2, 1015, "Control: \"手 动\", the system to manual operation.",
              {u(u"操作成功!")});
    tour.Step("06-read-di-manual", 1, 1006, "Read \"01读DI\" again: row 000 now shows 1 (manual).");
    tour.Require(tour.Cell(0, 2) == "1", "row 000 shows manual operation");
    tour.Step("07-version", 3, 0, "The version page.");

    SetMessageBoxService(nullptr);
    std::printf("\nScreenshots:\n");
    for (const QString& path : tour.Saved()) {
        std::printf("  %s\n", QDir::current().absoluteFilePath(path).toUtf8().constData());
    }
    if (tour.Failed() || tour.Saved().size() != 7) {
        std::printf("\nThe tour did not go as expected.\n");
        return 1;
    }
    return 0;
}
