#include "gui/widgets/sound_player.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

namespace sendwell::gui {

namespace {

QString SoundResource(int id) {
    switch (id) {
    case kSoundSubmitStart:
        return QStringLiteral("qrc:/sounds/submit-start.wav");
    case kSoundSubmitEnd:
        return QStringLiteral("qrc:/sounds/submit-end.wav");
    default:
        return {};
    }
}

QtMessageHandler g_previousHandler = nullptr;

// The audio back end complains on stderr when the machine has no sound server; for a program whose
// sounds are a courtesy that is no news worth a line.
void QuietAudioBackend(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QLatin1String("PulseAudioService:"))) {
        return;
    }
    if (g_previousHandler != nullptr) {
        g_previousHandler(type, context, message);
    }
}

bool HaveAudioOutput() {
    g_previousHandler = qInstallMessageHandler(QuietAudioBackend);
    const bool any = !QMediaDevices::audioOutputs().isEmpty();
    qInstallMessageHandler(g_previousHandler);
    return any;
}

} // namespace

ResourceSoundPlayer::ResourceSoundPlayer(QObject* parent) : QObject(parent) {}

void ResourceSoundPlayer::Play(int id) {
    // Without an output device Qt would only complain; a missing sound is not worth a word.
    if (!HaveAudioOutput()) {
        return;
    }
    QString source = SoundResource(id);
    if (source.isEmpty()) {
        return;
    }
    QSoundEffect*& effect = effects_[id];
    if (effect == nullptr) {
        effect = new QSoundEffect(this);
        effect->setSource(QUrl(source));
    }
    effect->play();
}

} // namespace sendwell::gui
