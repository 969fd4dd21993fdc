#include "platform/qt/sound.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QPointer>
#include <QSoundEffect>
#include <QTimer>
#include <QUrl>
#include <map>
#include <utility>

namespace platform {
namespace {

SoundHandler& Handler() {
    static SoundHandler handler;
    return handler;
}

// The longest a clip played to its end may hold up the caller, so that a stuck
// audio service can never hang shutdown.
constexpr int kMaximumWaitMilliseconds = 4000;

// One preloaded effect per clip, owned by the application object so that they are
// released before the multimedia backend goes away.
class SoundBank : public QObject {
public:
    explicit SoundBank(QObject* parent) : QObject(parent) {}

    QSoundEffect* Effect(const QString& name) {
        auto it = effects_.find(name);
        if (it != effects_.end()) return it->second;
        auto* effect = new QSoundEffect(this);
        effect->setSource(QUrl(QStringLiteral("qrc:/sounds/%1.wav").arg(name)));
        effects_.emplace(name, effect);
        return effect;
    }

    void StopAll() {
        for (auto& [name, effect] : effects_) effect->stop();
    }

private:
    std::map<QString, QSoundEffect*> effects_;
};

SoundBank* Bank() {
    static QPointer<SoundBank> bank;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return nullptr;
    if (!bank) {
        if (QMediaDevices::audioOutputs().isEmpty()) return nullptr;  // no device: stay silent
        bank = new SoundBank(app);
    }
    return bank;
}

}  // namespace

void SetSoundHandler(SoundHandler handler) { Handler() = std::move(handler); }

void PlaySoundResource(const QString& Name, SoundMode Mode) {
    if (Handler()) {
        Handler()(Name, Mode);
        return;
    }
    SoundBank* bank = Bank();
    if (!bank) return;
    QSoundEffect* effect = bank->Effect(Name);
    bank->StopAll();
    if (effect->status() == QSoundEffect::Error) return;
    effect->play();
    if (Mode == SoundMode::Asynchronous) return;

    // Wait for the end: the clip stops playing, fails to load, or the wait runs out.
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(effect, &QSoundEffect::playingChanged, &loop, [&] {
        if (!effect->isPlaying()) loop.quit();
    });
    QObject::connect(effect, &QSoundEffect::statusChanged, &loop, [&] {
        if (effect->status() == QSoundEffect::Error) loop.quit();
    });
    limit.start(kMaximumWaitMilliseconds);
    // A clip still loading has not started yet; one that is neither loading nor
    // playing has nothing to wait for.
    if (effect->isPlaying() || effect->status() == QSoundEffect::Loading || effect->status() == QSoundEffect::Null)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    effect->stop();
}

}  // namespace platform
