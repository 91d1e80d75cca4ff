#include "ui/dialogbuilder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include "ui/droplist.h"

namespace
{
constexpr int kStaticId = -1;
constexpr int kIconPixels = 32;   // a dialog's icon control shows the large icon

QWidget* CreateControl(const CControlTemplate& ctl, QDialog* pDialog)
{
    const QString strCaption = ctl.pszCaption ? QString::fromUtf8(ctl.pszCaption) : QString();
    const bool bBorder = (ctl.nStyle & kStyleBorder) != 0;
    switch (ctl.eKind) {
    case EControlKind::PushButton:
    case EControlKind::DefPushButton: {
        auto* pButton = new QPushButton(strCaption, pDialog);
        pButton->setDefault(ctl.eKind == EControlKind::DefPushButton);
        if (ctl.nIconId != 0)
            pButton->setIcon(ResourceIcon(ctl.nIconId));
        return pButton;
    }
    case EControlKind::CheckBox:
        return new QCheckBox(strCaption, pDialog);
    case EControlKind::GroupBox: {
        auto* pGroup = new QGroupBox(strCaption, pDialog);
        // A frame drawn around controls that are its siblings: below them, and never in their way.
        pGroup->setAttribute(Qt::WA_TransparentForMouseEvents);
        // The frame's top line runs through the middle of the caption, as a group box's does.
        pGroup->setStyleSheet(QStringLiteral(
            "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 0.5em; }"
            "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }"));
        return pGroup;
    }
    case EControlKind::Label: {
        auto* pLabel = new QLabel(strCaption, pDialog);
        pLabel->setTextFormat(Qt::PlainText);
        pLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return pLabel;
    }
    case EControlKind::Icon: {
        auto* pLabel = new QLabel(pDialog);
        pLabel->setPixmap(ResourceIcon(ctl.nIconId).pixmap(kIconPixels, kIconPixels));
        pLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return pLabel;
    }
    case EControlKind::Edit: {
        auto* pEdit = new QLineEdit(pDialog);
        pEdit->setFrame(bBorder);
        pEdit->setReadOnly((ctl.nStyle & kStyleReadOnly) != 0);
        return pEdit;
    }
    case EControlKind::MultiLineEdit: {
        auto* pEdit = new QPlainTextEdit(pDialog);
        pEdit->setReadOnly((ctl.nStyle & kStyleReadOnly) != 0);
        if (!bBorder)
            pEdit->setFrameShape(QFrame::NoFrame);
        pEdit->setVerticalScrollBarPolicy((ctl.nStyle & kStyleVScroll) ? Qt::ScrollBarAlwaysOn
                                                                       : Qt::ScrollBarAlwaysOff);
        return pEdit;
    }
    case EControlKind::ComboList:
        return new CDropList(pDialog);
    case EControlKind::ListBox: {
        auto* pList = new QListWidget(pDialog);
        if (!bBorder)
            pList->setFrameShape(QFrame::NoFrame);
        if (ctl.nStyle & kStyleMultiSelect)
            pList->setSelectionMode(QAbstractItemView::MultiSelection);
        if (ctl.nStyle & kStyleSort)
            pList->setSortingEnabled(true);
        return pList;
    }
    case EControlKind::ProgressBar: {
        auto* pBar = new QProgressBar(pDialog);
        pBar->setRange(0, 100);
        pBar->setValue(0);
        pBar->setTextVisible(false);
        return pBar;
    }
    }
    return nullptr;
}
}   // namespace

CDialogBaseUnits CDialogBuilder::MeasureBaseUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int nWidth =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(nWidth / 26 + 1) / 2, metrics.height()};
}

QRect CDialogBuilder::MapDialogRect(const QRect& rectUnits, const CDialogBaseUnits& units)
{
    auto mapX = [&](int n) { return (n * units.nCharWidth + 2) / 4; };
    auto mapY = [&](int n) { return (n * units.nCharHeight + 4) / 8; };
    return QRect(mapX(rectUnits.x()), mapY(rectUnits.y()), mapX(rectUnits.width()), mapY(rectUnits.height()));
}

QFont CDialogBuilder::DialogFont(const CDialogTemplate& tmpl)
{
    // Stand-ins of the same metrics where the templates' font is not installed.
    static const bool s_bSubstituted = [] {
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                                   {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Liberation Sans"),
                                    QStringLiteral("Arial")});
        return true;
    }();
    Q_UNUSED(s_bSubstituted);
    QFont font(QString::fromUtf8(tmpl.pszFontName), tmpl.nFontPointSize);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

void CDialogBuilder::Build(const CDialogTemplate& tmpl, QDialog* pDialog)
{
    const QFont font = DialogFont(tmpl);
    const CDialogBaseUnits units = MeasureBaseUnits(font);
    pDialog->setObjectName(ControlName(tmpl.nId));
    pDialog->setWindowTitle(QString::fromUtf8(tmpl.pszTitle));
    pDialog->setFont(font);
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (tmpl.bSystemMenu)
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    pDialog->setWindowFlags(flags);
    pDialog->setFixedSize(MapDialogRect(QRect(0, 0, tmpl.cx, tmpl.cy), units).size());

    std::vector<QWidget*> groups;
    for (const CControlTemplate& ctl : tmpl.controls) {
        QWidget* pControl = CreateControl(ctl, pDialog);
        QRect rect = MapDialogRect(QRect(ctl.x, ctl.y, ctl.cx, ctl.cy), units);
        // A drop-down list's template height includes its open list; closed it is one line high.
        if (ctl.eKind == EControlKind::ComboList)
            rect.setHeight(std::min(rect.height(), pControl->sizeHint().height()));
        pControl->setGeometry(rect);
        if (ctl.nId != kStaticId)
            pControl->setObjectName(ControlName(ctl.nId));
        if (ctl.nStyle & kStyleDisabled)
            pControl->setEnabled(false);
        if (ctl.nStyle & kStyleNoTabStop)
            pControl->setFocusPolicy(Qt::ClickFocus);
        if (ctl.eKind == EControlKind::GroupBox)
            groups.push_back(pControl);
    }
    for (QWidget* pGroup : groups)
        pGroup->lower();
}

QString ControlName(int nId)
{
    return QString::number(nId);
}

QIcon ResourceIcon(int nIconId)
{
    return QIcon(QStringLiteral(":/icons/%1.svg").arg(nIconId));
}
