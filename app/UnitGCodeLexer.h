#pragma once
// The editor's lexer: an adapter that styles, on demand, only the lines the
// editor asks for, with the G-code tokenizer and its attribute table.
#include <Qsci/qscilexercustom.h>

#include <QFont>

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
    // Styles styled so far, for the benchmark: laziness is the point.
    qint64 StyledCharacters() const { return FStyled; }

private:
    QFont FFont;
    qint64 FStyled = 0;
};
