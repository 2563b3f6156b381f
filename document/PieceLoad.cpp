#include "PieceLoad.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace {

constexpr qsizetype FirstPieceBytes = 64 * 1024;

// One piece for the store: its lines without the break after the last one.
struct TPiece {
    QByteArray Text;
    bool Dropped = false; // every line was blank and dropped: nothing to write
    // Known from the first piece on: the break shown, and about how large the
    // whole text turns out.
    TLineBreakStyle Shown = TLineBreakStyle::CrLf;
    qsizetype SizeHint = 0;
    bool Last = false; // no piece follows
};

// The hand-over between the worker and the store's thread, a few pieces deep
// so that the worker runs ahead without holding the whole text.
class TPieceQueue {
public:
    // False once the taker has stopped taking.
    bool Push(TPiece piece)
    {
        std::unique_lock lock(FLock);
        FChanged.wait(lock, [&] { return FPieces.size() < Depth || FCancelled; });
        if (FCancelled)
            return false;
        FPieces.push_back(std::move(piece));
        FChanged.notify_all();
        return true;
    }
    // Nothing once the worker has closed the queue and every piece is taken.
    std::optional<TPiece> Pop()
    {
        std::unique_lock lock(FLock);
        FChanged.wait(lock, [&] { return !FPieces.empty() || FClosed; });
        if (FPieces.empty())
            return std::nullopt;
        TPiece piece = std::move(FPieces.front());
        FPieces.pop_front();
        FChanged.notify_all();
        return piece;
    }
    void Close()
    {
        const std::lock_guard lock(FLock);
        FClosed = true;
        FChanged.notify_all();
    }
    void Cancel()
    {
        const std::lock_guard lock(FLock);
        FCancelled = true;
        FChanged.notify_all();
    }
    // Buffers of pieces written, handed back so that the worker decodes into
    // memory already there instead of new pages.
    void GiveBack(QByteArray buffer)
    {
        const std::lock_guard lock(FLock);
        FSpent.push_back(std::move(buffer));
    }
    QByteArray TakeSpent()
    {
        const std::lock_guard lock(FLock);
        if (FSpent.empty())
            return {};
        QByteArray buffer = std::move(FSpent.back());
        FSpent.pop_back();
        return buffer;
    }

private:
    static constexpr size_t Depth = 8;
    std::mutex FLock;
    std::condition_variable FChanged;
    std::deque<TPiece> FPieces;
    std::vector<QByteArray> FSpent;
    bool FClosed = false, FCancelled = false;
};

// Stops the taking when the store's side leaves early, so that the worker
// never waits for room that will not come.
struct TCancelOnExit {
    TPieceQueue& Queue;
    ~TCancelOnExit() { Queue.Cancel(); }
};

struct TWorkerResult {
    // False: the rest of the text is in Rest, read as the whole way reads it.
    bool Consistent = true;
    QByteArray Rest;
    bool PiecesAreText = true;
    bool BlankLinesDropped = false; // from a piece handed over
    TEditorText Facts;
    TToolChangeScan Scan;
    std::exception_ptr Error;
};

// A piece's lines without the break after the last of them: the store puts a
// break between pieces, so that a piece dropped whole leaves no break behind.
// The last piece comes without the text's trailing break already.
QByteArray WithoutFinalBreak(QByteArray piece, bool last)
{
    if (!last)
        piece.chop(piece.endsWith("\r\n") ? 2 : 1);
    return piece;
}

// The worker: decodes each piece, scans it when asked, and drops its blank
// lines once the scan met any. Where the pieces stop telling the whole text
// (a break unlike the shown one; blank lines in a text whose breaks are not
// CR LF, where dropping them changes every break), it reads the rest as it
// comes for the whole way to finish.
void DecodePieces(TEditorTextReader& reader, bool scan, qsizetype pieceBytes, TPieceQueue& queue, TWorkerResult& result)
{
    std::optional<TToolChangeScanner> scanner;
    std::optional<TLineBreakStyle> style;
    const auto readRest = [&](QByteArray text) {
        result.Consistent = false;
        result.Rest = std::move(text);
        while (!reader.AtEnd())
            result.Rest += reader.Next(pieceBytes);
    };
    while (!reader.AtEnd()) {
        // A small first piece: the store begins while the worker reads on.
        QByteArray text = reader.Next(style ? pieceBytes : qMin(pieceBytes, FirstPieceBytes), queue.TakeSpent());
        if (!reader.PiecesAreText() || (style && *style != reader.Facts().LineBreak))
            return readRest(std::move(text));
        TPiece piece;
        piece.Last = reader.AtEnd();
        if (!style) {
            style = reader.Facts().LineBreak;
            scanner.emplace(int(LineBreakText(*style).size()));
            piece.Shown = ShownLineBreak(*style);
            piece.SizeHint = reader.EstimatedTextSize();
        }
        bool drop = false;
        if (scan) {
            const qint64 blankBefore = scanner->BlankLines();
            scanner->AddLines(text);
            if (scanner->BlankLines() > 0 && *style != TLineBreakStyle::CrLf)
                return readRest(std::move(text));
            // The last piece, whose final line break is gone, is joined anew
            // whenever the text had blank lines: its last line may be empty.
            drop = scanner->BlankLines() > blankBefore || (piece.Last && scanner->BlankLines() > 0);
        }
        if (drop) {
            piece.Text = DropBlankLines(text);
            piece.Dropped = piece.Text.isEmpty();
            result.BlankLinesDropped = true;
        } else {
            piece.Text = WithoutFinalBreak(std::move(text), piece.Last);
        }
        if (!queue.Push(std::move(piece)))
            return;
    }
    if (scanner)
        result.Scan = scanner->Result();
}

} // namespace

TPieceLoad LoadTextInPieces(
    QByteArray bytes, bool wordSpaces, bool scan, TDocumentTextStore& store, qsizetype pieceBytes, bool keepPieces)
{
    TPieceLoad load;
    TEditorTextReader reader(std::move(bytes), wordSpaces);
    TPieceQueue queue;
    TWorkerResult work;
    bool begun = false, written = false;
    QByteArray lineBreak;
    {
        const std::jthread worker([&] {
            try {
                DecodePieces(reader, scan, pieceBytes, queue, work);
                work.Facts = reader.Facts();
                work.PiecesAreText = reader.PiecesAreText();
            } catch (...) { // handed to the store's thread
                work.Error = std::current_exception();
            }
            queue.Close();
        });
        const TCancelOnExit cancel { queue };
        while (std::optional<TPiece> piece = queue.Pop()) {
            if (!begun && piece->Last && !piece->Dropped) {
                // The whole text in one piece (one line of many MiB): the store
                // takes it as it is rather than a copy beside it.
                if (keepPieces) {
                    store.ReplaceText(piece->Text, piece->Shown, TTextReplace::NewDocument);
                    load.Pieces.append(std::move(piece->Text));
                } else {
                    store.ReplaceText(std::move(piece->Text), piece->Shown, TTextReplace::NewDocument);
                }
                written = true;
                continue;
            }
            if (!begun) {
                store.BeginText(piece->Shown, piece->SizeHint);
                lineBreak = LineBreakText(piece->Shown).toUtf8();
                begun = true;
            }
            if (piece->Dropped)
                continue;
            if (written)
                store.AppendText(lineBreak);
            store.AppendText(piece->Text);
            written = true;
            if (keepPieces)
                load.Pieces.append(std::move(piece->Text));
            else
                queue.GiveBack(std::move(piece->Text));
        }
    } // the worker has ended
    if (begun)
        store.EndText();
    if (work.Error)
        std::rethrow_exception(work.Error);
    load.Facts = work.Facts;
    if (work.Consistent) {
        load.Loaded = true;
        load.Scan = work.Scan;
        return load;
    }
    // The whole way from here: the text so far, then the rest as read.
    load.Pieces.clear();
    QByteArray text = written ? store.Text() + lineBreak : QByteArray();
    text += work.Rest;
    work.Rest.clear();
    if (!work.PiecesAreText)
        text = JoinUtf8Lines(text, LineBreakText(ShownLineBreak(load.Facts.LineBreak)).toUtf8());
    // Once blank lines were met the whole text is rewritten, the part that
    // held none too (its last line may be empty).
    if (work.BlankLinesDropped)
        text = DropBlankLines(text);
    load.Facts.Utf8 = std::move(text);
    load.BlankLinesDropped = work.BlankLinesDropped;
    return load;
}
