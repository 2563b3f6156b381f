// The restart check: the state a run from the top holds at the first cut
// after the resume point, group by group, against what the program sets again
// between the resume point and that cut.
#include "RestartCheck.h"

#include <algorithm>

const char* const RestartAllClear = "Güvenlik kontrolü: sorun bulunmadı.";

namespace {

// Set, in force, and set only before the block playback resumes at.
bool SetBefore(const TModalWord& word, qint64 resumeBlock)
{
    return word.IsSet() && word.Block < resumeBlock;
}

QString Text(const char* format, const TModalWord& word)
{
    return QString::fromUtf8(format).arg(QString::fromUtf8(word.Word));
}

} // namespace

TRestartCheck CheckRestart(const TToolpath& path, qint32 toolChangeLine)
{
    TRestartCheck check;
    check.ToolChangeLine = toolChangeLine;
    check.ResumeLine = std::max(1, toolChangeLine - 1);
    const TToolpath::TResumeProbe probe = path.ProbeResume(check.ResumeLine);
    if (!probe.Reached || !probe.CutFound) {
        if (path.Stopped() && (path.StoppedLine() <= check.ResumeLine || !probe.CutFound))
            check.Warnings.append(QString::fromUtf8("Program satır %1 sonrasını yorumlayamıyor; güvenlik kontrolü "
                                                    "yapılamadı.")
                                      .arg(path.StoppedLine()));
        else if (!probe.Reached)
            check.Warnings.append(QString::fromUtf8("Program bu satıra hiç gelmiyor; güvenlik kontrolü yapılamadı."));
        else
            check.Warnings.append(QString::fromUtf8("Devam noktasından sonra kesme yok."));
        check.Checked = probe.Reached && !path.Stopped();
        return check;
    }
    check.Checked = true;
    const qint64 resume = probe.ResumeBlock;
    const TModalState& cut = probe.AtFirstCut;
    check.Tool = cut.Tool;
    if (cut.SpindleRunning && SetBefore(cut.Spindle, resume))
        check.Warnings.append(QString::fromUtf8("İlk kesmeden önce iş mili çalıştırılmıyor (M3/M4 yok)."));
    if (cut.SpeedValue > 0 && SetBefore(cut.Speed, resume))
        check.Warnings.append(Text("İlk kesmeden önce devir verilmiyor (programda bu noktada %1 etkin).", cut.Speed));
    if (cut.FeedValue > 0 && SetBefore(cut.FeedRate, resume))
        check.Warnings.append(
            Text("İlk kesmeden önce ilerleme verilmiyor (programda bu noktada %1 etkin).", cut.FeedRate));
    if (SetBefore(cut.WorkOffset, resume))
        check.Warnings.append(Text("İş koordinat sistemi seçilmiyor (programda bu noktada %1 etkin).", cut.WorkOffset));
    if (SetBefore(cut.Distance, resume))
        check.Warnings.append(Text("Mutlak/artışlı mod seçilmiyor (programda bu noktada %1 etkin).", cut.Distance));
    if (cut.ToolLengthOn && SetBefore(cut.ToolLength, resume))
        check.Warnings.append(Text("Takım boyu telafisi açılmıyor (programda bu noktada %1 etkin).", cut.ToolLength));
    if (SetBefore(cut.Plane, resume))
        check.Warnings.append(Text("Çalışma düzlemi seçilmiyor (programda bu noktada %1 etkin).", cut.Plane));
    if (SetBefore(cut.Units, resume))
        check.Warnings.append(Text("Birim seçilmiyor (programda bu noktada %1 etkin).", cut.Units));
    if (cut.CoolantOn && SetBefore(cut.Coolant, resume))
        check.Warnings.append(Text("Soğutma açılmıyor (programda bu noktada %1 etkin).", cut.Coolant));
    // The first move after the resume point: a cycle still in force drills
    // there, a radius compensation still on offsets it.
    const TModalState& first = probe.MoveFound ? probe.AtFirstMove : cut;
    if (first.Motion >= 73 && first.Motion != 80 && SetBefore(first.MotionWord, resume))
        check.Warnings.append(
            Text("Devam noktasında delme çevrimi etkin (%1): ilk konumlama bir delik deler.", first.MotionWord));
    if (first.RadiusCompOn && SetBefore(first.RadiusComp, resume))
        check.Warnings.append(Text("Devam noktasında takım yarıçap telafisi açık (%1).", first.RadiusComp));
    QByteArray subprogram = path.SubprogramAt(check.ResumeLine);
    if (subprogram.isEmpty())
        subprogram = probe.AtResume.Subprogram;
    if (!subprogram.isEmpty())
        check.Warnings.append(
            QString::fromUtf8("Devam noktası bir alt programın içinde (%1).").arg(QString::fromUtf8(subprogram)));
    return check;
}

QList<TRestartCheck> CheckRestarts(const QByteArray& text, const QList<qint32>& toolChangeLines)
{
    QList<TRestartCheck> checks;
    if (toolChangeLines.isEmpty())
        return checks;
    const TToolpath path = InterpretProgram(text);
    for (const qint32 line : toolChangeLines)
        checks.append(CheckRestart(path, line));
    return checks;
}
