#pragma once
// The editor's lexer: an adapter that styles, on demand, only the lines near
// the view, with the G-code tokenizer and its attribute table. Lines far above
// the view that the editor asks for get a placeholder style and are coloured
// when they scroll into view, so a jump to the end of a huge program stays quick.
#include <Qsci/qscilexercustom.h>

#include <QFont>

#include <vector>

class TSynGCodeSyn : public QsciLexerCustom {
    Q_OBJECT
public:
    explicit TSynGCodeSyn(QObject* parent = nullptr);

    const char* language() const override;
    QString description(int style) const override;
    QColor defaultColor(int style) const override;
    QFont defaultFont(int style) const override;
    void styleText(int start, int end) override;

    void SetEditorFont(const QFont& font);
    // Connected to the editor: colours placeholder lines that came into view,
    // and forgets what was styled when the text changes.
    void StyleVisibleLines();
    void ForgetStyledLines();
    // Characters tokenised so far, for the benchmark: laziness is the point.
    qint64 StyledCharacters() const { return FStyled; }

    static constexpr int LinesAroundView = 40;
    // A line longer than this shows only its start, in one colour.
    static constexpr long LongLineBytes = 10000;
    static constexpr int HiddenStyle = 20; // the rest of such a line: not drawn; no token kind uses it

private:
    void StyleLines(int firstLine, int lastLine);
    bool IsStyled(int line) const
    {
        return line >= 0 && size_t(line) < FLineStyled.size() && FLineStyled[size_t(line)];
    }

    QFont FFont;
    qint64 FStyled = 0;
    std::vector<bool> FLineStyled;
};
