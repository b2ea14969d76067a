#pragma once
// The image lists of the windows, drawn once at start-up (the program carries no image files).
//   ListeImg  (18 x 18): toolbar images 0-10, 11 Cancel, 12 OK; image 0 also marks field rows
//   TableImg  (16 x 16): 1 the tree's root and 2 the table nodes and the "Tabellen" tab
//   Liste2Img (16 x 16): 0 the index rows
// Needs a running QGuiApplication.
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <vector>

namespace kx4 {

class TImageList {
  public:
    explicit TImageList(std::vector<QImage> images) : images_(std::move(images)) {}
    int Count() const { return static_cast<int>(images_.size()); }
    QIcon icon(int index) const { return QIcon(pixmap(index)); }
    QPixmap pixmap(int index) const { return QPixmap::fromImage(images_.at(index)); }
    const QImage& image(int index) const { return images_.at(index); }

  private:
    std::vector<QImage> images_;  // images outlive the application object; pixmaps must not
};

enum ListeImage {
    imgFieldLength = 0,
    imgDelField = 1,
    imgAddField = 2,
    imgNewTable = 3,
    imgCompress = 4,
    imgReorgIndexes = 5,
    imgCreateIndex = 6,
    imgDelIndex = 7,
    imgClose = 8,
    imgPrint = 9,
    imgFieldType = 10,
    imgCancel = 11,
    imgOk = 12,
};

// The program's icon, drawn from the toolbar art (a table of the tree with the index key) at
// any size; the window icon holds it at each of kProgramIconSizes, which are also installed
// for the desktop.
inline constexpr int kProgramIconSizes[] = {16, 24, 32, 48, 64, 128, 256};
QImage programIcon(int size);
QIcon programIcon();

const TImageList& ListeImg();
const TImageList& TableImg();
const TImageList& Liste2Img();

}  // namespace kx4
