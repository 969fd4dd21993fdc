// A small window that drags one file, as a file manager would: pressing the mouse
// on it starts a drag of the file named on the command line. The smoke test drops
// it on Lumarq's real windows.
// Usage: drag_source FILE X Y (the window's place on the screen).
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace {

class DragSource : public QWidget {
public:
    explicit DragSource(QString file) : file_(std::move(file)) { setWindowTitle(QStringLiteral("drag source")); }

protected:
    void mousePressEvent(QMouseEvent*) override {
        auto* data = new QMimeData;
        data->setUrls({QUrl::fromLocalFile(file_)});
        auto* drag = new QDrag(this);
        drag->setMimeData(data);
        drag->exec(Qt::CopyAction);
    }

private:
    QString file_;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 4) return 2;
    DragSource source(QString::fromLocal8Bit(argv[1]));
    source.setGeometry(std::atoi(argv[2]), std::atoi(argv[3]), 100, 100);
    source.show();
    return QApplication::exec();
}
