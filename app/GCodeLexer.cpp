#include "GCodeLexer.h"

#include "content/UnitGCodeHighlighter.h"

#include <Qsci/qsciscintilla.h>

TSynGCodeSyn::TSynGCodeSyn(QObject* parent)
    : QsciLexerCustom(parent)
{
}

const char* TSynGCodeSyn::language() const
{
    return "G-Code (CNC)";
}

// One editor style per token kind; the attribute table names and colours them.
QString TSynGCodeSyn::description(int style) const
{
    if (style == gtkNull || style == gtkUnknown)
        return QStringLiteral("Default");
    if (const TGCodeAttribute* a = GCodeAttributeFor(TGCodeTokenKind(style)))
        return a->DisplayName;
    return {};
}

QColor TSynGCodeSyn::defaultColor(int style) const
{
    const TGCodeAttribute* a = GCodeAttributeFor(TGCodeTokenKind(style));
    if (a && a->HasForeground)
        return QColor(a->Red, a->Green, a->Blue);
    return QColor(Qt::black);
}

QFont TSynGCodeSyn::defaultFont(int style) const
{
    QFont font = FFont;
    const TGCodeAttribute* a = GCodeAttributeFor(TGCodeTokenKind(style));
    font.setItalic(a && a->Italic);
    return font;
}

void TSynGCodeSyn::SetEditorFont(const QFont& font)
{
    FFont = font;
    for (int style = gtkNull; style <= gtkUnknown; ++style)
        setFont(defaultFont(style), style);
}

void TSynGCodeSyn::StyleLines(int firstLine, int lastLine)
{
    QsciScintilla* editor = this->editor();
    const int lineCount = editor->lines();
    if (FLineStyled.size() != size_t(lineCount))
        FLineStyled.assign(size_t(lineCount), false);
    for (int line = firstLine; line <= lastLine && line < lineCount; ++line) {
        const long lineStart = editor->SendScintilla(QsciScintilla::SCI_POSITIONFROMLINE, line);
        const long lineEnd = editor->SendScintilla(QsciScintilla::SCI_GETLINEENDPOSITION, line);
        const long nextLine = line + 1 < lineCount
            ? editor->SendScintilla(QsciScintilla::SCI_POSITIONFROMLINE, line + 1)
            : editor->SendScintilla(QsciScintilla::SCI_GETLENGTH);
        startStyling(int(lineStart));
        if (lineEnd - lineStart > LongLineBytes) {
            // The editor measures every character of a line it shows, a few
            // hundred nanoseconds each: a line of many MiB would take seconds
            // at every opening. Its start is shown plain, the rest of it is
            // kept in the text as it is but not drawn, as editors do for
            // huge lines. The cut falls between characters.
            long cut = lineStart + LongLineBytes;
            while ((editor->SendScintilla(QsciScintilla::SCI_GETCHARAT, cut) & 0xC0) == 0x80)
                --cut;
            editor->SendScintilla(QsciScintilla::SCI_STYLESETVISIBLE, HiddenStyle, 0L);
            setStyling(int(cut - lineStart), gtkSpace);
            setStyling(int(nextLine - cut), HiddenStyle);
            FLineStyled[size_t(line)] = true;
            FStyled += nextLine - lineStart;
            continue;
        }
        QByteArray bytes(int(lineEnd - lineStart), Qt::Uninitialized);
        if (!bytes.isEmpty())
            editor->SendScintilla(QsciScintilla::SCI_GETTEXTRANGE, lineStart, lineEnd, bytes.data());
        const QString text = QString::fromUtf8(bytes);
        const bool ascii = text.size() == bytes.size();
        TGCodeTokenizer tokenizer;
        for (tokenizer.SetLine(text, line); !tokenizer.GetEol() && tokenizer.GetTokenKind() != gtkNull;
             tokenizer.Next()) {
            const int length = ascii ? int(tokenizer.GetTokenLength()) : int(tokenizer.GetToken().toUtf8().size());
            setStyling(length, tokenizer.GetTokenKind());
        }
        if (nextLine > lineEnd)
            setStyling(int(nextLine - lineEnd), gtkSpace);
        FLineStyled[size_t(line)] = true;
        FStyled += nextLine - lineStart;
    }
}

void TSynGCodeSyn::styleText(int start, int end)
{
    QsciScintilla* editor = this->editor();
    if (!editor)
        return;
    const int firstLine = int(editor->SendScintilla(QsciScintilla::SCI_LINEFROMPOSITION, start));
    const int lastLine = int(editor->SendScintilla(QsciScintilla::SCI_LINEFROMPOSITION, end));
    const int firstVisible = int(editor->SendScintilla(
        QsciScintilla::SCI_DOCLINEFROMVISIBLE, editor->SendScintilla(QsciScintilla::SCI_GETFIRSTVISIBLELINE)));
    const int nearView = qMax(firstLine, firstVisible - LinesAroundView);
    if (nearView > firstLine) {
        // Far above the view: one placeholder run, coloured once it is scrolled to.
        const long from = editor->SendScintilla(QsciScintilla::SCI_POSITIONFROMLINE, firstLine);
        const long to = editor->SendScintilla(QsciScintilla::SCI_POSITIONFROMLINE, nearView);
        startStyling(int(from));
        setStyling(int(to - from), gtkUnknown);
    }
    StyleLines(nearView, lastLine);
}

void TSynGCodeSyn::StyleVisibleLines()
{
    QsciScintilla* editor = this->editor();
    if (!editor || editor->lexer() != this)
        return;
    const int firstVisible = int(editor->SendScintilla(
        QsciScintilla::SCI_DOCLINEFROMVISIBLE, editor->SendScintilla(QsciScintilla::SCI_GETFIRSTVISIBLELINE)));
    const int onScreen = int(editor->SendScintilla(QsciScintilla::SCI_LINESONSCREEN));
    const int endStyledLine = int(editor->SendScintilla(
        QsciScintilla::SCI_LINEFROMPOSITION, editor->SendScintilla(QsciScintilla::SCI_GETENDSTYLED)));
    // Only placeholder lines need it; the editor asks for the rest itself.
    for (int line = firstVisible; line <= firstVisible + onScreen && line < endStyledLine; ++line) {
        if (!IsStyled(line)) {
            StyleLines(line, qMin(endStyledLine - 1, firstVisible + onScreen));
            break;
        }
    }
}

void TSynGCodeSyn::ForgetStyledLines()
{
    FLineStyled.clear();
}
