// Picture: the one image the program edits. It holds the source and working
// rasters, the file they came from and the file Save writes, the settings of the
// last render, and whether the picture on screen differs from what was last loaded
// or saved. The windows only watch it: the panel hands it settings, the image
// window paints what it holds.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "image_io/image_file.h"
#include "platform/gdi/scaled_view.h"
#include "raster/render.h"
#include "raster/win.h"

class Picture : public QObject {
    Q_OBJECT
public:
    explicit Picture(QObject* parent = nullptr);
    ~Picture() override;

    std::unique_ptr<TWin> SourceRaster;  // the image as loaded
    std::unique_ptr<TWin> WorkRaster;    // the rendered image: shown and saved
    QString CurrentFileName;             // the file Save writes to
    QString SourceFileName;              // the file the source was loaded from; empty for a paste
    // The image window's scaled view, when it has one: worked out inside a render,
    // band by band while the rows are still in the cache, when the last was seen.
    platform::gdi::ScaledView* View = nullptr;

    // Both rasters at 32 x 32, as before any file is loaded.
    void Create(const QString& fileName);
    // Frees the working raster, then the source raster.
    void Free();

    // A file read whole into both rasters, not yet taken as the picture.
    struct Loaded {
        TWin source{0, 0};
        TWin work{0, 0};
    };
    // Reads a file into both of image's rasters without touching the picture.
    // Throws LoadError.
    static void Read(const QString& fileName, Loaded& image);
    // Makes Image the picture: source and working raster, loaded from sourceFile
    // (empty: a paste, with no file behind it). What is on screen now matches it.
    void Take(Loaded& image, const QString& sourceFile);
    // Whether a file or a paste has been taken since the program started.
    bool HasImage() const { return hasImage_; }

    const RenderSettings& Settings() const { return settings_; }
    // Renders the source into the working raster with these settings and tells the
    // watchers; a picture without rasters only keeps the settings.
    void Render(const RenderSettings& settings);

    // Writes the working raster to CurrentFileName in the format its extension
    // names. On success the picture counts as saved and Saved is signalled.
    SaveResult Save();

    // Whether the picture on screen differs from what was last loaded or saved:
    // the render is a function of the source and the settings, so it differs when
    // the settings do.
    bool Modified() const { return hasImage_ && settings_ != cleanSettings_; }

signals:
    // The working raster was rendered anew.
    void Changed();
    // The working raster was written to this file.
    void Saved(const QString& fileName);

private:
    RenderSettings settings_;
    // The settings of the render the working raster holds, while nothing else has
    // written it: the next render may build on it.
    std::optional<RenderSettings> rendered_;
    RenderSettings cleanSettings_;
    bool hasImage_ = false;
};

// The one test seam of the render: `observer` runs after every render, so that
// tests can count them (one per slider change). The program itself never sets it;
// an empty function removes it.
void SetRenderObserverForTesting(std::function<void()> observer);
