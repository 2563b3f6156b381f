#include "ToolpathPanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

TToolpathPanel::TToolpathPanel(QWidget* parent)
    : QWidget(parent)
    , FView(new TToolpathView(this))
    , FFit(new QToolButton(this))
{
    setObjectName("PanelToolpath");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    auto* caption = new QLabel(QString::fromUtf8("Takım Yolu"), this);
    caption->setObjectName("LabelToolpath");
    layout->addWidget(caption);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(2);
    const std::pair<TViewDirection, const char*> directions[] = {
        { TViewDirection::Top, "Üst" },
        { TViewDirection::Front, "Ön" },
        { TViewDirection::Side, "Yan" },
        { TViewDirection::Isometric, "İzometrik" },
    };
    for (const auto& [direction, text] : directions) {
        auto* button = new QToolButton(this);
        button->setText(QString::fromUtf8(text));
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QToolButton::clicked, FView, [this, direction] { FView->SetDirection(direction); });
        FDirections[int(direction)] = button;
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    FFit->setText(QString::fromUtf8("Sığdır"));
    FFit->setToolTip(QString::fromUtf8("Yolun tamamını göster (F)"));
    FFit->setFocusPolicy(Qt::NoFocus);
    connect(FFit, &QToolButton::clicked, FView, &TToolpathView::FitAll);
    buttons->addWidget(FFit);
    layout->addLayout(buttons);
    FView->setObjectName("ToolpathView");
    FView->setToolTip(
        QString::fromUtf8("TEKER: YAKINLAŞ, SÜRÜKLE: KAYDIR, SAĞ TUŞLA SÜRÜKLE: DÖNDÜR, TIKLA: SATIRA GİT"));
    layout->addWidget(FView, 1);
}

QToolButton* TToolpathPanel::DirectionButton(TViewDirection direction) const
{
    return FDirections[int(direction)];
}
