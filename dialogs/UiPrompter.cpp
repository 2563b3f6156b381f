#include "UiPrompter.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace {

QWidget* Owner(QWidget* parent)
{
    return parent ? parent : QApplication::activeWindow();
}

QString Title()
{
    return QStringLiteral("Quillex");
}

// Wide enough for its whole title beside the window manager's icon and
// buttons: a small question ("Artış:") would leave the title cut.
void FitTitle(QDialog& dialog)
{
    constexpr int TitleBarRoom = 160;
    QFont font = dialog.font();
    font.setBold(true);
    const int width = QFontMetrics(font).horizontalAdvance(dialog.windowTitle()) + TitleBarRoom;
    // The dialog's layout sets its minimum size: the question's label carries the width.
    if (auto* label = dialog.findChild<QLabel*>()) {
        const QMargins margins = dialog.layout() ? dialog.layout()->contentsMargins() : QMargins(11, 11, 11, 11);
        label->setMinimumWidth(qMax(label->minimumWidth(), width - margins.left() - margins.right()));
    } else {
        dialog.setMinimumWidth(qMax(dialog.minimumWidth(), width));
    }
}

} // namespace

int TUiPrompter::RunModal(QDialog& dialog)
{
    return dialog.exec();
}

bool TDialogPrompter::AskPin(const QString& caption, const QString& label, QString& pin)
{
    bool ok = false;
    pin = QInputDialog::getText(Owner(FParent), caption, label, QLineEdit::Password, QString(), &ok);
    return ok;
}

void TDialogPrompter::ShowMessage(const QString& text)
{
    QMessageBox::information(Owner(FParent), Title(), text);
}

void TDialogPrompter::ShowWarning(const QString& text)
{
    QMessageBox::warning(Owner(FParent), Title(), text);
}

bool TDialogPrompter::ConfirmOkCancel(const QString& text)
{
    QMessageBox box(QMessageBox::Question, Title(), text, QMessageBox::Ok | QMessageBox::Cancel, Owner(FParent));
    box.button(QMessageBox::Ok)->setText("Tamam");
    box.button(QMessageBox::Cancel)->setText(QString::fromUtf8("İptal"));
    return box.exec() == QMessageBox::Ok;
}

bool TDialogPrompter::ConfirmYesNo(const QString& text)
{
    QMessageBox box(QMessageBox::Question, Title(), text, QMessageBox::Yes | QMessageBox::No, Owner(FParent));
    box.button(QMessageBox::Yes)->setText(QString::fromUtf8("Evet"));
    box.button(QMessageBox::No)->setText(QString::fromUtf8("Hayır"));
    return box.exec() == QMessageBox::Yes;
}

bool TDialogPrompter::AskNewPin(
    const QString& caption, const QString& firstLabel, const QString& secondLabel, QString& first, QString& second)
{
    QDialog dialog(Owner(FParent));
    dialog.setWindowTitle(caption);
    auto* layout = new QFormLayout(&dialog);
    auto* firstEdit = new QLineEdit(&dialog);
    auto* secondEdit = new QLineEdit(&dialog);
    firstEdit->setEchoMode(QLineEdit::Password);
    secondEdit->setEchoMode(QLineEdit::Password);
    layout->addRow(firstLabel, firstEdit);
    layout->addRow(secondLabel, secondEdit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Cancel)->setText(QString::fromUtf8("İptal"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    first = firstEdit->text();
    second = secondEdit->text();
    return true;
}

namespace {

// "Binary (*.bin)|*.bin|Tüm dosyalar (*.*)|*.*" as Qt writes filters.
QString QtFilter(const QString& filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        filters << parts[i];
    return filters.join(";;");
}

} // namespace

bool TDialogPrompter::AskOpenFile(const QString& startFolder, QString& fileName)
{
    fileName = QFileDialog::getOpenFileName(Owner(FParent), QString::fromUtf8("Dosya Aç"), startFolder);
    return !fileName.isEmpty();
}

bool TDialogPrompter::AskSaveFile(const QString& startFolder, const QString& proposedName, const QString& defaultSuffix,
    const QString& filter, QString& fileName)
{
    QFileDialog dialog(Owner(FParent), QString::fromUtf8("Kaydet"), startFolder, QtFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setDefaultSuffix(defaultSuffix);
    if (!proposedName.isEmpty())
        dialog.selectFile(QDir(startFolder).filePath(proposedName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    fileName = dialog.selectedFiles().first();
    return true;
}

bool TDialogPrompter::AskFolder(const QString& startFolder, QString& folder)
{
    folder = QFileDialog::getExistingDirectory(Owner(FParent), QString::fromUtf8("Klasör Seç"), startFolder);
    return !folder.isEmpty();
}

bool TDialogPrompter::AskInteger(const QString& caption, const QString& label, int minimum, int maximum, int& value)
{
    QInputDialog dialog(Owner(FParent));
    dialog.setWindowTitle(caption);
    dialog.setLabelText(label);
    dialog.setInputMode(QInputDialog::IntInput);
    dialog.setIntRange(minimum, maximum);
    dialog.setIntValue(qBound(minimum, value, maximum));
    dialog.setOkButtonText("Tamam");
    dialog.setCancelButtonText(QString::fromUtf8("İptal"));
    FitTitle(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    value = dialog.intValue();
    return true;
}
