// Helpers for the window tests: bitmap files written by the test itself, and the
// seams that answer dialogs and message boxes and record sound cues.
#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "app/Application.h"
#include "app/Unit4.h"
#include "platform/qt/file_dialog.h"
#include "platform/qt/message_box.h"
#include "platform/qt/sound.h"

// The window tests never read or write the user's own settings: each test program
// keeps them in a temporary folder of its own, set before any window exists.
inline const QString kTestSettingsFolder = [] {
    static QTemporaryDir folder;
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        for (const QSettings::Scope scope : {QSettings::UserScope, QSettings::SystemScope})
            QSettings::setPath(format, scope, folder.path());
    return folder.path();
}();

// A distinct colour for every pixel, so that a shifted or mirrored copy shows.
inline void TestPixel(int x, int y, std::uint8_t& blue, std::uint8_t& green, std::uint8_t& red) {
    blue = static_cast<std::uint8_t>(x * 7 + y);
    green = static_cast<std::uint8_t>(y * 5 + 3 * x);
    red = static_cast<std::uint8_t>(x ^ y);
}

// Writes a 24-bit uncompressed BMP with TestPixel's colours; bottom-up unless
// topDown (a negative height in the header).
inline void WriteTestBitmap(const QString& path, int width, int height, bool topDown = false) {
    const int stride = (3 * width + 3) / 4 * 4;
    QByteArray data(54 + stride * height, '\0');
    auto put32 = [&](int at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) data[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    data[0] = 'B';
    data[1] = 'M';
    put32(2, static_cast<std::uint32_t>(data.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(width));
    put32(22, static_cast<std::uint32_t>(topDown ? -height : height));
    data[26] = 1;
    data[28] = 24;
    put32(34, static_cast<std::uint32_t>(stride * height));
    for (int y = 0; y < height; ++y) {
        const int row = topDown ? y : height - 1 - y;
        for (int x = 0; x < width; ++x) {
            std::uint8_t b, g, r;
            TestPixel(x, y, b, g, r);
            const int at = 54 + row * stride + 3 * x;
            data[at] = static_cast<char>(b);
            data[at + 1] = static_cast<char>(g);
            data[at + 2] = static_cast<char>(r);
        }
    }
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) file.write(data);
}

// Reads back a 24-bit uncompressed BMP as written by the program: pixels top-down,
// three bytes each, no padding. Empty when the file is not such a bitmap.
struct ReadBack {
    int width = 0;
    int height = 0;
    QByteArray pixels;
};
inline ReadBack ReadTestBitmap(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray data = file.readAll();
    if (data.size() < 54 || data[0] != 'B' || data[1] != 'M') return {};
    auto get32 = [&](int at) {
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(data[at + i]);
        return v;
    };
    const auto offset = static_cast<int>(get32(10));
    const auto width = static_cast<int>(get32(18));
    const auto rawHeight = static_cast<std::int32_t>(get32(22));
    if (data[28] != 24 || get32(30) != 0 || width <= 0 || rawHeight == 0) return {};
    const int height = rawHeight < 0 ? -rawHeight : rawHeight;
    const int stride = (3 * width + 3) / 4 * 4;
    if (offset + static_cast<qint64>(stride) * height > data.size()) return {};
    ReadBack out{width, height, {}};
    for (int y = 0; y < height; ++y) {
        const int row = rawHeight < 0 ? y : height - 1 - y;
        out.pixels += data.mid(offset + row * stride, 3 * width);
    }
    return out;
}

struct RecordedBox {
    QString caption;
    QString text;
    std::uint32_t flags;
};

struct RecordedDialog {
    platform::FileDialogRequest request;
};

// Installs the seams for the lifetime of the object. Dialog answers are taken in
// order from dialogAnswers (nothing queued, or an empty name: the user cancels);
// every box is answered with OK, the question about unsaved work with Don't Save.
struct Seams {
    std::vector<RecordedBox> boxes;
    std::vector<RecordedBox> questions;   // "Do you want to save the changes...?"
    int questionAnswer = platform::IDNO;  // Don't Save, unless a test says otherwise
    std::vector<platform::FileDialogRequest> dialogs;
    std::deque<QString> dialogAnswers;
    std::vector<std::pair<QString, platform::SoundMode>> sounds;
    std::function<void()> onBox;  // runs while a box is up
    int renders = 0;              // renders the panel has run

    Seams() {
        platform::SetMessageBoxHandler([this](const QString& text, const QString& caption, std::uint32_t flags) -> int {
            // The question before unsaved work would be lost has its own record and answer.
            if (flags == (platform::MB_YESNOCANCEL | platform::MB_ICONEXCLAMATION | platform::MB_TOPMOST)) {
                questions.push_back({caption, text, flags});
                return questionAnswer;
            }
            boxes.push_back({caption, text, flags});
            if (onBox) onBox();
            return platform::IDOK;
        });
        platform::SetFileDialogHandler([this](const platform::FileDialogRequest& request) {
            dialogs.push_back(request);
            if (dialogAnswers.empty()) return std::optional<QString>();
            const QString answer = dialogAnswers.front();
            dialogAnswers.pop_front();
            return answer.isEmpty() ? std::optional<QString>() : std::optional<QString>(answer);
        });
        platform::SetSoundHandler([this](const QString& name, platform::SoundMode mode) { sounds.emplace_back(name, mode); });
        SetRenderObserverForTesting([this] { ++renders; });
    }
    ~Seams() {
        platform::SetMessageBoxHandler({});
        platform::SetFileDialogHandler({});
        platform::SetSoundHandler({});
        SetRenderObserverForTesting({});
    }
    Seams(const Seams&) = delete;
    Seams& operator=(const Seams&) = delete;

    // The names of the clips asked for, in order.
    QStringList SoundNames() const {
        QStringList names;
        for (const auto& s : sounds) names << s.first;
        return names;
    }
};

// Shows the main window and lets the message loop run the start-up it queues.
// False when the program was ended during it.
inline bool StartProgram() {
    lumarq::ShowMainWindow();
    QCoreApplication::processEvents();
    return !lumarq::TerminateRequested();
}
