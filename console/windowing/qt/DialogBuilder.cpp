#include "console/windowing/qt/DialogBuilder.h"

#include <QButtonGroup>
#include <QFile>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

#include "console/windowing/DlgLabel.h"
#include "console/windowing/qt/QtWindows.h"

namespace {

constexpr int kFixedsysPixels = 14;
constexpr const char* kFixedsysStandIn = "WenQuanYi Micro Hei Mono";

int MulDiv(int number, int numerator, int denominator) {
    const long long p = static_cast<long long>(number) * numerator;
    return static_cast<int>((p >= 0 ? p + denominator / 2 : p - denominator / 2) / denominator);
}

QString Text(const DlgControl& c) {
    return QString::fromUtf16(c.text);
}

QWidget* MakeEdit(const DlgControl& c, QWidget* page) {
    const bool readOnly = (c.style & kReadOnly) != 0;
    if ((c.style & kMultiLine) != 0) {
        auto* edit = new QPlainTextEdit(Text(c), page);
        edit->setReadOnly(readOnly);
        if ((c.style & kAutoHScroll) != 0) {
            edit->setLineWrapMode(QPlainTextEdit::NoWrap);
        }
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        edit->setFrameShape((c.style & kBorder) != 0 ? QFrame::StyledPanel : QFrame::NoFrame);
        edit->setTabChangesFocus(true);
        if (readOnly) {
            // A read-only box keeps the caret movable and the text selectable.
            edit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        }
        return edit;
    }
    auto* edit = new QLineEdit(Text(c), page);
    edit->setReadOnly(readOnly);
    edit->setFrame((c.style & kBorder) != 0);
    return edit;
}

QWidget* MakeList(QWidget* page) {
    auto* list = new QTableWidget(0, 0, page);
    list->verticalHeader()->hide();
    list->horizontalHeader()->setStretchLastSection(false);
    list->horizontalHeader()->setHighlightSections(false);
    list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list->verticalHeader()->setDefaultSectionSize(QFontMetrics(page->font()).height() + 2);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectItems);
    list->setShowGrid(false);
    list->setWordWrap(false);
    list->setCornerButtonEnabled(false);
    return list;
}

QWidget* MakePicture(const DlgControl& c, QWidget* page, const QSize& base) {
    auto* picture = new QLabel(page);
    const QString path = QStringLiteral(":/resources/bitmap%1.bmp").arg(c.image);
    QSize size(c.cx, c.cy);
    if (QFile::exists(path)) {
        const QPixmap pixmap(path);
        if (!pixmap.isNull()) {
            picture->setPixmap(pixmap);
            size = pixmap.size();
        }
    }
    const QRect at = CDialogBuilder::MapDialogRect(base, c.x, c.y, 0, 0);
    picture->setGeometry(QRect(at.topLeft(), size));
    return picture;
}

QWidget* MakeControl(const DlgControl& c, QWidget* page) {
    switch (c.kind) {
        case CtlKind::AutoRadio: {
            // Left auto-exclusive: a radio in a button group is exclusive
            // within that group only, and assistive technology announces a
            // checkable button as a radio button only when it is.
            return new QRadioButton(Text(c), page);
        }
        case CtlKind::PushButton: {
            auto* button = new QPushButton(Text(c), page);
            button->setAutoDefault(false);
            return button;
        }
        case CtlKind::Edit:
            return MakeEdit(c, page);
        case CtlKind::GroupBox:
            return new QGroupBox(Text(c), page);
        case CtlKind::Static: {
            auto* label = new QLabel(Text(c), page);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setTextFormat(Qt::PlainText);
            return label;
        }
        case CtlKind::ListView:
            return MakeList(page);
        case CtlKind::Picture:
            break;
    }
    return nullptr;
}

Qt::FocusPolicy FocusOf(const DlgControl& c) {
    switch (c.kind) {
        case CtlKind::GroupBox:
        case CtlKind::Static:
        case CtlKind::Picture:
            return Qt::NoFocus;
        // Every radio button takes the focus, so that the arrow keys move
        // through its group, checking as they go.
        case CtlKind::AutoRadio:
            return Qt::StrongFocus;
        default:
            return (c.style & kTabStop) != 0 ? Qt::StrongFocus : Qt::ClickFocus;
    }
}

}  // namespace

QFont CDialogBuilder::DialogFont(const DlgTemplate& tpl) {
    const QString face = QString::fromUtf16(tpl.fontFace);
    if (face == QLatin1String("Fixedsys")) {
        QFont font(QString::fromLatin1(kFixedsysStandIn));
        font.setPixelSize(kFixedsysPixels);
        font.setStyleHint(QFont::TypeWriter);
        return font;
    }
    QFont font(face);
    font.setPointSize(tpl.pointSize);
    return font;
}

QSize CDialogBuilder::BaseUnits(const QFont& font) {
    const QFontMetrics fm(font);
    const int width = fm.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(width / 26 + 1) / 2, fm.height()};
}

QRect CDialogBuilder::MapDialogRect(const QSize& base, int x, int y, int cx, int cy) {
    return {MulDiv(x, base.width(), 4), MulDiv(y, base.height(), 8), MulDiv(cx, base.width(), 4),
            MulDiv(cy, base.height(), 8)};
}

QSize CDialogBuilder::PageSize(const DlgTemplate& tpl) {
    return MapDialogRect(BaseUnits(DialogFont(tpl)), 0, 0, tpl.cx, tpl.cy).size();
}

std::vector<DlgItem> CDialogBuilder::Build(const DlgTemplate& tpl, QWidget* page) {
    page->setFont(DialogFont(tpl));
    const QSize base = BaseUnits(page->font());
    page->setFixedSize(MapDialogRect(base, 0, 0, tpl.cx, tpl.cy).size());

    std::vector<DlgItem> items;
    items.reserve(tpl.count);
    QButtonGroup* group = nullptr;  // the radio group being filled
    for (std::size_t i = 0; i < tpl.count; ++i) {
        const DlgControl& c = tpl.controls[i];
        if ((c.style & kGroup) != 0) {
            group = nullptr;
        }
        QWidget* w = c.kind == CtlKind::Picture ? MakePicture(c, page, base) : MakeControl(c, page);
        if (c.kind != CtlKind::Picture) {
            w->setGeometry(MapDialogRect(base, c.x, c.y, c.cx, c.cy));
        }
        if (c.kind == CtlKind::AutoRadio) {
            if (group == nullptr) {
                group = new QButtonGroup(page);
                group->setExclusive(true);
            }
            group->addButton(static_cast<QRadioButton*>(w));
        }
        w->setFocusPolicy(FocusOf(c));
        auto wnd = std::make_unique<CWnd>();
        WindowingBackend::Attach(*wnd, w, false);
        wnd->SetDlgCtrlID(c.id);
        items.push_back({std::move(wnd), &c});
    }
    // Each edit box is named by its label, as screen readers name a box on
    // the platform these layouts come from.
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].ctl->kind != CtlKind::Edit) {
            continue;
        }
        if (const int label = FindEditLabel(tpl, i); label >= 0) {
            static_cast<QLabel*>(WidgetOf(items[static_cast<std::size_t>(label)].wnd.get()))
                ->setBuddy(WidgetOf(items[i].wnd.get()));
        }
    }
    // Frames lie under the controls they enclose, so that clicks reach those.
    for (const DlgItem& item : items) {
        if (item.ctl->kind == CtlKind::GroupBox) {
            QWidget* frame = WidgetOf(item.wnd.get());
            frame->lower();
            frame->setAttribute(Qt::WA_TransparentForMouseEvents);
        }
    }
    return items;
}
