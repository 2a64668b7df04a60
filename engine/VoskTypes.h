#pragma once
// Values produced by the recogniser. They travel through queued signals, so
// they are registered with the meta-type system (registerVoskTypes).

#include <QList>
#include <QMetaType>
#include <QString>

#include <vector>

struct VoskWord
{
    float pre = 0;   // seconds of silence before the word
    float start = 0; // seconds on the project's time line
    float end = 0;
    float conf = 0;
    QString word;
};

using VoskWordList = QList<VoskWord>;
using VoskSpk = std::vector<float>;

struct VoskResult
{
    VoskWordList words;
    VoskSpk spk;        // empty when the result has no speaker vector
    int spk_frames = 0; // frames the speaker vector was computed from
    qint64 fstart = 0;  // byte range of the result's audio in the PCM data of
    qint64 fend = 0;    // "data.wav" (after its header), end exclusive
};

Q_DECLARE_METATYPE(VoskWord)
Q_DECLARE_METATYPE(VoskWordList)
Q_DECLARE_METATYPE(VoskSpk)
Q_DECLARE_METATYPE(VoskResult)

// Registers the four types by name; safe to call any number of times.
void registerVoskTypes();
