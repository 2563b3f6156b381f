#pragma once
// Loading a large text into a store in pieces: a worker thread decodes and
// scans the next piece while the store takes the one before, so that reading
// the file and filling the editor overlap, and the file's bytes are given
// back as they are read. The result is the text, the facts and the scan that
// reading it whole gives. A text where that cannot be known piece by piece
// (breaks that differ from the shown one, blank lines to drop in a text whose
// breaks are not CR LF) comes back whole instead, for the caller to load.
#include "content/EditorText.h"
#include "content/ToolChangeScanner.h"
#include "document/DocumentTextStore.h"

struct TPieceLoad {
    // True: the text is in the store, Facts.Utf8 is empty and Scan holds the
    // scan (Text empty). False: Facts.Utf8 is the text as ReadEditorText reads
    // it, for the caller to load and scan, with some blank lines already
    // dropped when BlankLinesDropped is set (the text counts as rewritten).
    bool Loaded = false;
    TEditorText Facts;
    TToolChangeScan Scan;
    bool BlankLinesDropped = false;
    // When kept (Loaded only): the pieces as the store took them, joined by
    // the shown line break they are the store's text.
    QList<QByteArray> Pieces;
};

// Writes the text of the bytes into the store as a new document (BeginText,
// AppendText, EndText), with word spaces when asked, blank lines dropped when
// scanning. pieceBytes: about how much of the file each piece holds.
// keepPieces: the pieces are kept for the caller instead of their buffers
// going back to the worker.
TPieceLoad LoadTextInPieces(QByteArray bytes, bool wordSpaces, bool scan, TDocumentTextStore& store,
    qsizetype pieceBytes, bool keepPieces = false);
