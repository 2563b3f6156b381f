#include "FindBar.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <Qsci/qsciscintilla.h>

namespace {

// Typing pauses this long before a large text is counted again.
constexpr int CountDelayMs = 200;

QPushButton* Button(const QString& text, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

} // namespace

TFindBar::TFindBar(QsciScintilla* editor, QWidget* parent)
    : QFrame(parent)
    , FEditor(editor)
{
    setObjectName("FindBar");
    setFrameShape(QFrame::StyledPanel);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed); // the editor keeps the height
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setSpacing(4);

    // Three short rows, so that the bar fits under the editor beside the tool-change panel.
    auto* findRow = new QHBoxLayout;
    findRow->setSpacing(6);
    auto* findLabel = new QLabel(QString::fromUtf8("Bul:"), this);
    FFindEdit = new QLineEdit(this);
    FFindEdit->setPlaceholderText(QString::fromUtf8("Aranacak metin"));
    FFindEdit->setClearButtonEnabled(true);
    FFindEdit->setMinimumWidth(120);
    auto* previous = Button(QString::fromUtf8("Önceki"), this);
    previous->setToolTip("SHIFT+F3");
    auto* next = Button(QString::fromUtf8("Sonraki"), this);
    next->setToolTip("F3");
    FCount = new QLabel(this);
    auto* close = new QToolButton(this);
    close->setText(QString::fromUtf8("✕"));
    close->setAutoRaise(true);
    close->setToolTip(QString::fromUtf8("Kapat (ESC)"));
    findRow->addWidget(findLabel);
    findRow->addWidget(FFindEdit, 1);
    findRow->addWidget(previous);
    findRow->addWidget(next);
    findRow->addWidget(FCount);
    findRow->addWidget(close);
    layout->addLayout(findRow);

    auto* optionsRow = new QHBoxLayout;
    optionsRow->setSpacing(12);
    FMatchCase = new QCheckBox(QString::fromUtf8("Büyük/küçük harf"), this);
    FWholeWord = new QCheckBox(QString::fromUtf8("Tam sözcük"), this);
    FRegex = new QCheckBox(QString::fromUtf8("Düzenli ifade"), this);
    FMessage = new QLabel(this);
    FMessage->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    FMessage->setMinimumHeight(FMessage->fontMetrics().height());
    FMessage->installEventFilter(this); // elided anew at each resize
    auto* optionsIndent = new QWidget(this);
    optionsRow->addWidget(optionsIndent);
    optionsRow->addWidget(FMatchCase);
    optionsRow->addWidget(FWholeWord);
    optionsRow->addWidget(FRegex);
    optionsRow->addWidget(FMessage, 1);
    layout->addLayout(optionsRow);

    FReplaceRow = new QWidget(this);
    auto* replaceRow = new QHBoxLayout(FReplaceRow);
    replaceRow->setContentsMargins(0, 0, 0, 0);
    replaceRow->setSpacing(6);
    auto* replaceLabel = new QLabel(QString::fromUtf8("Değiştir:"), FReplaceRow);
    FReplaceEdit = new QLineEdit(FReplaceRow);
    FReplaceEdit->setPlaceholderText(QString::fromUtf8("Yeni metin ($1: birinci grup)"));
    FReplaceEdit->setMinimumWidth(120);
    auto* replace = Button(QString::fromUtf8("Değiştir"), FReplaceRow);
    auto* replaceAll = Button(QString::fromUtf8("Tümünü Değiştir"), FReplaceRow);
    replaceRow->addWidget(replaceLabel);
    replaceRow->addWidget(FReplaceEdit, 1);
    replaceRow->addWidget(replace);
    replaceRow->addWidget(replaceAll);
    layout->addWidget(FReplaceRow);
    // The labels line up, so the fields and the options start at the same place.
    const int labelWidth = qMax(findLabel->sizeHint().width(), replaceLabel->sizeHint().width());
    findLabel->setFixedWidth(labelWidth);
    replaceLabel->setFixedWidth(labelWidth);
    optionsIndent->setFixedWidth(labelWidth - optionsRow->spacing() + findRow->spacing());

    FCountTimer = new QTimer(this);
    FCountTimer->setSingleShot(true);
    FCountTimer->setInterval(CountDelayMs);
    FCounter = new TMatchCounter(this);

    connect(FFindEdit, &QLineEdit::returnPressed, this, &TFindBar::FindNext);
    connect(FReplaceEdit, &QLineEdit::returnPressed, this, &TFindBar::ReplaceOne);
    connect(next, &QPushButton::clicked, this, &TFindBar::FindNext);
    connect(previous, &QPushButton::clicked, this, &TFindBar::FindPrevious);
    connect(replace, &QPushButton::clicked, this, &TFindBar::ReplaceOne);
    connect(replaceAll, &QPushButton::clicked, this, &TFindBar::ReplaceAll);
    connect(close, &QToolButton::clicked, this, &TFindBar::HideBar);
    // A new question: the last answer goes, the count starts anew.
    auto questionChanged = [this] {
        ShowStatus(QString());
        ScheduleCount();
    };
    connect(FFindEdit, &QLineEdit::textChanged, this, questionChanged);
    for (QCheckBox* box : { FMatchCase, FWholeWord, FRegex })
        connect(box, &QCheckBox::toggled, this, questionChanged);
    connect(FEditor, &QsciScintilla::textChanged, this, [this] {
        if (isVisible())
            ScheduleCount();
    });
    connect(FCountTimer, &QTimer::timeout, this, &TFindBar::StartCount);
    connect(FCounter, &TMatchCounter::Counted, this, &TFindBar::ShowCount);
    hide();
}

void TFindBar::ShowBar(bool replace)
{
    // A selection within one line is what the operator wants to find.
    if (FEditor->hasSelectedText()) {
        const QString selected = FEditor->selectedText();
        if (!selected.contains(u'\n') && !selected.contains(u'\r'))
            FFindEdit->setText(selected);
    }
    FReplaceRow->setVisible(replace);
    show();
    FFindEdit->setFocus();
    FFindEdit->selectAll();
    ScheduleCount();
}

void TFindBar::HideBar()
{
    FCountTimer->stop();
    FCounter->Cancel();
    hide();
    FEditor->setFocus();
}

bool TFindBar::ReplaceRowShown() const
{
    return !FReplaceRow->isHidden();
}

QString TFindBar::MessageText() const
{
    return FMessageText;
}

void TFindBar::ShowElidedMessage()
{
    FMessage->setText(FMessage->fontMetrics().elidedText(FMessageText, Qt::ElideRight, FMessage->width()));
    FMessage->setToolTip(FMessage->text() == FMessageText ? QString() : FMessageText);
}

QString TFindBar::CountText() const
{
    return FCount->text();
}

bool TFindBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == FMessage && event->type() == QEvent::Resize)
        ShowElidedMessage();
    return QFrame::eventFilter(watched, event);
}

void TFindBar::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        HideBar();
        return;
    }
    QFrame::keyPressEvent(event);
}

TTextSearch TFindBar::Search() const
{
    return TTextSearch({ FFindEdit->text(), FMatchCase->isChecked(), FWholeWord->isChecked(), FRegex->isChecked() });
}

QByteArrayView TFindBar::EditorBytes() const
{
    const auto length = qsizetype(FEditor->SendScintilla(QsciScintilla::SCI_GETLENGTH));
    const auto* text = reinterpret_cast<const char*>(FEditor->SendScintilla(QsciScintilla::SCI_GETCHARACTERPOINTER));
    return QByteArrayView(text, length);
}

void TFindBar::SelectMatch(const TTextMatch& match)
{
    FEmptyMatchAt = match.Length == 0 ? match.Start : -1;
    FEditor->SendScintilla(QsciScintilla::SCI_SETSEL, uintptr_t(match.Start), long(match.End()));
    FEditor->SendScintilla(QsciScintilla::SCI_SCROLLCARET);
}

void TFindBar::ShowStatus(const QString& text, bool problem)
{
    FMessageText = text;
    ShowElidedMessage();
    FMessage->setStyleSheet(problem ? QStringLiteral("color: #b00020;") : QString());
}

bool TFindBar::Usable(const TTextSearch& search)
{
    if (search.IsValid())
        return true;
    ShowStatus(search.Options().Pattern.isEmpty() ? QString() : QString::fromUtf8("Geçersiz düzenli ifade."), true);
    return false;
}

void TFindBar::FindNext()
{
    const TTextSearch search = Search();
    if (!Usable(search))
        return;
    const auto from = qsizetype(FEditor->SendScintilla(QsciScintilla::SCI_GETSELECTIONEND));
    const auto start = qsizetype(FEditor->SendScintilla(QsciScintilla::SCI_GETSELECTIONSTART));
    const bool allowEmpty = !(start == from && FEmptyMatchAt == from);
    const auto found = search.FindNext(EditorBytes(), from, allowEmpty);
    if (!found) {
        ShowStatus(QString::fromUtf8("Bulunamadı."), true);
        return;
    }
    SelectMatch(found->Match);
    ShowStatus(found->Wrapped ? QString::fromUtf8("Sona gelindi, baştan devam edildi.") : QString());
}

void TFindBar::FindPrevious()
{
    const TTextSearch search = Search();
    if (!Usable(search))
        return;
    const auto before = qsizetype(FEditor->SendScintilla(QsciScintilla::SCI_GETSELECTIONSTART));
    const auto found = search.FindPrevious(EditorBytes(), before);
    if (!found) {
        ShowStatus(QString::fromUtf8("Bulunamadı."), true);
        return;
    }
    SelectMatch(found->Match);
    ShowStatus(found->Wrapped ? QString::fromUtf8("Başa gelindi, sondan devam edildi.") : QString());
}

void TFindBar::ReplaceOne()
{
    if (FEditor->isReadOnly())
        return;
    const TTextSearch search = Search();
    const auto start = qsizetype(FEditor->SendScintilla(QsciScintilla::SCI_GETSELECTIONSTART));
    const auto end = qsizetype(FEditor->SendScintilla(QsciScintilla::SCI_GETSELECTIONEND));
    // The selection is replaced only when it is a match; otherwise the first
    // press finds one to show before anything changes.
    const auto match = search.MatchFrom(EditorBytes(), start);
    if (!match || match->Start != start || match->End() != end) {
        FindNext();
        return;
    }
    const QByteArray replacement = search.ReplacementFor(EditorBytes(), *match, FReplaceEdit->text().toUtf8());
    FEditor->SendScintilla(QsciScintilla::SCI_SETTARGETRANGE, uintptr_t(start), long(end));
    FEditor->SendScintilla(QsciScintilla::SCI_REPLACETARGET, uintptr_t(replacement.size()), replacement.constData());
    const qsizetype after = start + replacement.size();
    FEditor->SendScintilla(QsciScintilla::SCI_SETSEL, uintptr_t(after), long(after));
    // An empty match replaced in place is not to be found again.
    FEmptyMatchAt = match->Length == 0 ? after : -1;
    FindNext();
}

void TFindBar::ReplaceAll()
{
    if (FEditor->isReadOnly())
        return;
    const TTextSearch search = Search();
    if (!Usable(search))
        return;
    const TReplaceAllResult result = search.ReplaceAll(EditorBytes(), FReplaceEdit->text().toUtf8());
    if (result.Count == 0) {
        ShowStatus(QString::fromUtf8("Bulunamadı."), true);
        return;
    }
    // Only the region from the first to the last match changes, as one undo step.
    FEditor->SendScintilla(QsciScintilla::SCI_BEGINUNDOACTION);
    FEditor->SendScintilla(QsciScintilla::SCI_SETTARGETRANGE, uintptr_t(result.SpanStart), long(result.SpanEnd));
    FEditor->SendScintilla(
        QsciScintilla::SCI_REPLACETARGET, uintptr_t(result.Replacement.size()), result.Replacement.constData());
    FEditor->SendScintilla(QsciScintilla::SCI_ENDUNDOACTION);
    FEditor->SendScintilla(QsciScintilla::SCI_GOTOPOS, uintptr_t(result.SpanStart));
    ShowStatus(QString::fromUtf8("%1 yerde değiştirildi.").arg(result.Count));
}

void TFindBar::ScheduleCount()
{
    FEmptyMatchAt = -1;
    FCounter->Cancel();
    FCountTimer->start();
}

void TFindBar::StartCount()
{
    const TTextSearch search = Search();
    if (search.Options().Pattern.isEmpty()) {
        FCount->clear();
        return;
    }
    if (!Usable(search)) {
        FCount->clear();
        return;
    }
    FCount->setText(QString::fromUtf8("Sayılıyor…"));
    // A copy: the operator may edit the text while the worker counts.
    FCounter->Start(search, EditorBytes().toByteArray());
}

void TFindBar::ShowCount(qsizetype count)
{
    FCount->setText(count == 0 ? QString::fromUtf8("Eşleşme yok") : QString::fromUtf8("%1 eşleşme").arg(count));
    emit MatchesCounted(count);
}
