#pragma once
// The find and replace bar under the editor: the words to find and their
// replacement, match case, whole word and regular expression, next and
// previous (wrapping past either end), replace and replace all (one undo
// step). The searching itself is TTextSearch on the editor's UTF-8 text; the
// number of matches is counted on a worker, so a large program never stalls
// the window while the operator types.
#include "content/TextSearch.h"

#include <QFrame>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QToolButton;
class QsciScintilla;

class TFindBar : public QFrame {
    Q_OBJECT
public:
    explicit TFindBar(QsciScintilla* editor, QWidget* parent = nullptr);

    // Shows the bar with or without its replace row; the editor's selection,
    // when it is part of one line, becomes the text to find.
    void ShowBar(bool replace);
    void HideBar();
    void FindNext();
    void FindPrevious();
    void ReplaceOne();
    void ReplaceAll();

    QLineEdit* FindEdit() const { return FFindEdit; }
    QLineEdit* ReplaceEdit() const { return FReplaceEdit; }
    QCheckBox* MatchCaseBox() const { return FMatchCase; }
    QCheckBox* WholeWordBox() const { return FWholeWord; }
    QCheckBox* RegexBox() const { return FRegex; }
    bool ReplaceRowShown() const;
    // What the last command found ("Bulunamadı.", a wrap past an end), and the count.
    QString MessageText() const;
    QString CountText() const;

signals:
    // The number of matches in the whole text, once counted.
    void MatchesCounted(qsizetype count);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    TTextSearch Search() const;
    // False, with the reason shown, for an invalid regular expression or nothing to find.
    bool Usable(const TTextSearch& search);
    QByteArrayView EditorBytes() const;
    void SelectMatch(const TTextMatch& match);
    void ShowStatus(const QString& text, bool problem = false);
    void ScheduleCount();
    void StartCount();
    void ShowCount(qsizetype count);

    QsciScintilla* FEditor;
    QLineEdit* FFindEdit;
    QLineEdit* FReplaceEdit;
    QCheckBox* FMatchCase;
    QCheckBox* FWholeWord;
    QCheckBox* FRegex;
    QWidget* FReplaceRow;
    QLabel* FMessage; // takes the room left in its row, never more: a message does not move the layout
    QString FMessageText;
    void ShowElidedMessage();
    QLabel* FCount;
    QTimer* FCountTimer;
    TMatchCounter* FCounter;
    // The last match selected was empty at this position: the next search from
    // there must not find it again.
    qsizetype FEmptyMatchAt = -1;
};
