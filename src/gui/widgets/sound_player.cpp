#include "widgets/sound_player.h"

#include "submit/submit_commands.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

namespace sendwell::gui {

namespace {

QString SoundResource(int id) {
    switch (id) {
    case sendwell::kSoundSubmitStart:
        return QStringLiteral("qrc:/sounds/submit-start.wav");
    case sendwell::kSoundSubmitEnd:
        return QStringLiteral("qrc:/sounds/submit-end.wav");
    default:
        return {};
    }
}

} // namespace

ResourceSoundPlayer::ResourceSoundPlayer(QObject* parent) : QObject(parent) {}

void ResourceSoundPlayer::Play(int id) {
    // Without an output device Qt would only complain; a missing sound is not worth a word.
    if (QMediaDevices::audioOutputs().isEmpty()) {
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
