#include "engine/VoskTypes.h"

void registerVoskTypes()
{
    static const bool done = [] {
        qRegisterMetaType<VoskWord>("VoskWord");
        qRegisterMetaType<VoskWordList>("VoskWordList");
        qRegisterMetaType<VoskSpk>("VoskSpk");
        qRegisterMetaType<VoskResult>("VoskResult");
        return true;
    }();
    Q_UNUSED(done);
}
