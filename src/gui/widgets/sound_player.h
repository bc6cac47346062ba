// Plays the program's short sounds by id, without waiting for them to end.
#pragma once

#include <QObject>
#include <map>

class QSoundEffect;

namespace sendwell::gui {

// The program's sounds.
inline constexpr int kSoundSubmitStart = 108;
inline constexpr int kSoundSubmitEnd = 109;

class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    // Starts the sound with this id; an unknown id, or a machine without audio output, plays nothing.
    virtual void Play(int id) = 0;
};

// Sounds from the program's resources through Qt Multimedia.
class ResourceSoundPlayer : public QObject, public SoundPlayer {
    Q_OBJECT
public:
    explicit ResourceSoundPlayer(QObject* parent = nullptr);
    void Play(int id) override;

private:
    std::map<int, QSoundEffect*> effects_;
};

} // namespace sendwell::gui
