#include "DevicePanel.h"

#include "DeviceInfoPaintBox.h"
#include "WindowLook.h"

#include <QListView>
#include <QPainter>
#include <QPainterPath>
#include <QStyledItemDelegate>

namespace {

constexpr int DeviceRowHeight = 48;
constexpr int InfoPadding = 12;

const QColor DotUnknown(158, 158, 158);
const QColor DotBusy(245, 166, 35);
const QColor DotIdle(76, 175, 80);

// Rows of the device list are drawn by the panel.
class TDeviceRowDelegate : public QStyledItemDelegate {
public:
    explicit TDeviceRowDelegate(const TDevicePanel* panel, QObject* parent)
        : QStyledItemDelegate(parent)
        , FPanel(panel)
    {
    }
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        painter->save();
        FPanel->DrawRow(*painter, index.row(), option.rect, option.state & QStyle::State_Selected);
        painter->restore();
    }
    // No width of its own: a row is as wide as the list, whatever width the list had before.
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override { return QSize(0, DeviceRowHeight); }

private:
    const TDevicePanel* FPanel;
};

// A closed padlock, drawn where the symbol font of the original platform is absent.
void DrawLock(QPainter& painter, const QRectF& box, const QColor& color)
{
    const qreal w = box.width(), h = box.height();
    QPainterPath shackle;
    shackle.moveTo(box.left() + w * 0.28, box.top() + h * 0.48);
    shackle.lineTo(box.left() + w * 0.28, box.top() + h * 0.30);
    shackle.arcTo(QRectF(box.left() + w * 0.28, box.top() + h * 0.06, w * 0.44, h * 0.48), 180, -180);
    shackle.lineTo(box.left() + w * 0.72, box.top() + h * 0.48);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(color, qMax<qreal>(1.5, w * 0.12)));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(shackle);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawRoundedRect(
        QRectF(box.left() + w * 0.14, box.top() + h * 0.46, w * 0.72, h * 0.48), w * 0.08, w * 0.08);
    painter.restore();
}

} // namespace

QColor DeviceActivityDotColor(TDeviceActivity activity)
{
    switch (activity) {
    case TDeviceActivity::Busy:
        return DotBusy;
    case TDeviceActivity::Idle:
        return DotIdle;
    case TDeviceActivity::Unknown:
        break;
    }
    return DotUnknown;
}

TDevicePanel::TDevicePanel(QListView* list, TDeviceInfoPaintBox* info, TDeviceListModel* devices, QObject* parent)
    : QObject(parent)
    , FList(list)
    , FInfo(info)
    , FDevices(devices)
    , FDevicePicture(":/DEVICE_IMAGE.png")
{
    FList->setModel(FDevices);
    FList->setSelectionModel(FDevices->Selection());
    FList->setItemDelegate(new TDeviceRowDelegate(this, FList));
    FList->setSelectionMode(QAbstractItemView::SingleSelection);
    FList->setResizeMode(QListView::Adjust);
    FList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff); // rows elide their text instead
}

TDeviceRowLook TDevicePanel::RowLook(int index) const
{
    TDeviceRowLook look;
    look.DotColor = DotUnknown;
    const QModelIndex row = FDevices->index(index);
    if (!row.isValid())
        return look;
    look.Line1 = row.data(TDeviceListModel::NameRole).toString();
    look.Line2 = row.data(TDeviceListModel::AddressRole).toString();
    look.Locked = row.data(TDeviceListModel::PinRequiredRole).toBool();
    if (const QString controller = row.data(TDeviceListModel::ControllerRole).toString(); !controller.isEmpty())
        look.Line1 += " / " + controller;
    look.DotColor = DeviceActivityDotColor(TDeviceActivity(row.data(TDeviceListModel::ActivityRole).toInt()));
    return look;
}

void TDevicePanel::DrawRow(QPainter& painter, int index, const QRect& rect, bool selected) const
{
    const QPalette& pal = FList->palette();
    const QColor textColor = selected ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::Text);
    const QColor secondary
        = selected ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::Disabled, QPalette::Text);
    const QColor background = selected ? pal.color(QPalette::Highlight) : pal.color(QPalette::Base);
    painter.fillRect(rect, background);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);

    const TDeviceRowLook look = RowLook(index);
    const int P = 10, I = 36;
    const QRect picture(rect.left() + P, rect.top() + (DeviceRowHeight - I) / 2, I, I);
    painter.drawPixmap(picture, FDevicePicture);
    const int L = picture.right() + 1 + P;

    const QRect dot(picture.right() + 1 - 12, picture.bottom() + 1 - 12, 12, 12);
    painter.setPen(QPen(background, 2));
    painter.setBrush(look.DotColor);
    painter.drawEllipse(dot);
    painter.setPen(QPen(textColor, 1));
    painter.setBrush(Qt::NoBrush);

    int R = rect.right() + 1 - P;
    if (look.Locked) {
        const int G = 16;
        DrawLock(painter, QRectF(R - G, rect.top() + (rect.height() - G) / 2.0, G, G), secondary);
        R -= G + P;
    }
    const QFont base = FList->font();
    QFont bold = base;
    bold.setBold(true);
    QFont small = base;
    small.setPixelSize(base.pixelSize() * 85 / 100);
    const int A = QFontMetrics(bold).height(), B = QFontMetrics(small).height();
    const int T = rect.top() + (DeviceRowHeight - A - B) / 2;
    painter.setFont(bold);
    painter.setPen(textColor);
    painter.drawText(QRect(L, T, R - L, A), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
        QFontMetrics(bold).elidedText(look.Line1, Qt::ElideRight, R - L));
    painter.setFont(small);
    painter.setPen(secondary);
    painter.drawText(QRect(L, T + A, R - L, B), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
        QFontMetrics(small).elidedText(look.Line2, Qt::ElideRight, R - L));
}

void TDevicePanel::SetInfo(const QString& message, const TDeviceInfoRows& rows)
{
    if (message == FInfoMessage && rows == FInfoRows)
        return;
    FInfoMessage = message;
    FInfoRows = rows;
    // The rows keep their height; when they do not fit, the panel scrolls.
    const int P = InfoPadding;
    FInfo->setMinimumHeight(
        rows.isEmpty() || !message.isEmpty() ? 0 : int(P / 2 + rows.size() * InfoRowHeight() + P / 2));
    FInfo->update();
}

void TDevicePanel::ShowDevice(
    const TQuillexDevice* device, const QString& status, const QString& listenError, const QStringList& notes)
{
    if (!device || status.isEmpty()) {
        const QString message = !device ? (listenError.isEmpty() ? QString::fromUtf8("Bir cihaz seçin.") : listenError)
                                        : QString::fromUtf8("%1 (%2) için henüz durum bilgisi alınmadı.")
                                              .arg(device->DisplayName, device->IPAddress);
        SetInfo((QStringList(message) << notes).join('\n'), {});
        return;
    }
    if (status != FStatusRows.first)
        FStatusRows = { status, BuildDeviceInfoRows(status) };
    TDeviceInfoRows rows = FStatusRows.second;
    for (const QString& note : notes)
        rows.append({ QString(), note });
    SetInfo({}, rows);
}

int TDevicePanel::InfoRowHeight() const
{
    return QFontMetrics(FInfo->font()).height() + 8;
}

void TDevicePanel::PaintInfo(QPainter& painter) const
{
    QWidget* box = FInfo;
    const int P = InfoPadding;
    painter.setFont(box->font());
    painter.fillRect(box->rect(), box->palette().color(QPalette::Base));
    const QColor grey = GreyText(box->palette());
    const QColor text = box->palette().color(QPalette::Text);
    if (!FInfoMessage.isEmpty()) {
        painter.setPen(grey);
        painter.drawText(QRect(P, P, box->width() - 2 * P, box->height() - 2 * P),
            Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, FInfoMessage);
        return;
    }
    const QFontMetrics metrics(box->font());
    QFont bold = box->font();
    bold.setBold(true);
    const int H = InfoRowHeight();
    int W = 0;
    for (const TDeviceInfoRow& row : FInfoRows)
        if (!row.Label.isEmpty())
            W = qMax(W, metrics.horizontalAdvance(row.Label));
    int y = P / 2;
    const QColor divider = box->palette().color(QPalette::Button);
    for (qsizetype i = 0; i < FInfoRows.size(); ++i) {
        const TDeviceInfoRow& row = FInfoRows[i];
        if (!row.Label.isEmpty()) {
            painter.setFont(box->font());
            painter.setPen(grey);
            painter.drawText(QRect(P, y, W, H), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, row.Label);
            painter.setFont(bold);
            painter.setPen(text);
            const QRect valueRect(P + W + P, y, box->width() - P - (P + W + P), H);
            painter.drawText(valueRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                QFontMetrics(bold).elidedText(row.Value, Qt::ElideRight, valueRect.width()));
        } else {
            painter.setFont(box->font());
            painter.setPen(text);
            const QRect lineRect(P, y, box->width() - 2 * P, H);
            painter.drawText(lineRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                metrics.elidedText(row.Value, Qt::ElideRight, lineRect.width()));
        }
        y += H;
        if (i + 1 < FInfoRows.size()) {
            painter.setPen(divider);
            painter.drawLine(P, y, box->width() - P, y);
        }
    }
}
