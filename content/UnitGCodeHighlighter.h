#pragma once
// G-code tokens and their colour attributes. The editor's lexer is a thin
// adapter over this: it asks for tokens line by line and maps each kind to
// the attribute below.
#include <QList>
#include <QString>
#include <QStringView>

enum TGCodeTokenKind {
    gtkNull, // end of line
    gtkSpace,
    gtkComment,
    gtkG,
    gtkM,
    gtkT,
    gtkF,
    gtkS,
    gtkN,
    gtkX,
    gtkY,
    gtkZ,
    gtkUnknown,
};

struct TGCodeAttribute {
    TGCodeTokenKind Kind;
    QString StorageName;
    QString DisplayName;
    bool HasForeground; // false: the editor's default colour
    quint8 Red, Green, Blue;
    bool Italic;
};

// In the order the attributes are created and registered with the editor.
const QList<TGCodeAttribute>& GCodeAttributes();
// The attribute of a kind, or nullptr for gtkNull and gtkUnknown.
const TGCodeAttribute* GCodeAttributeFor(TGCodeTokenKind kind);

inline const QString GCodeFriendlyLanguageName = QStringLiteral("G-Code (CNC)");

struct TGCodeToken {
    TGCodeTokenKind Kind = gtkNull;
    qsizetype Start = 0;
    qsizetype Length = 0;
};

// The token that starts at pos; at pos == line.size() the end-of-line token.
// Letters are compared without regard to case.
TGCodeToken NextGCodeToken(QStringView line, qsizetype pos);

// The editor's highlighter interface: set a line, then step through its tokens.
class TGCodeTokenizer {
public:
    void SetLine(QStringView line, int lineNumber);
    void Next();
    bool GetEol() const { return FEol; }
    TGCodeTokenKind GetTokenKind() const { return FToken.Kind; }
    qsizetype GetTokenPos() const { return FToken.Start; }
    qsizetype GetTokenLength() const { return FToken.Length; }
    QStringView GetToken() const { return FLine.mid(FToken.Start, qMin(FToken.Length, FLine.size() - FToken.Start)); }
    int LineNumber() const { return FLineNumber; }

private:
    QStringView FLine;
    TGCodeToken FToken;
    bool FEol = true;
    int FLineNumber = 0;
};
