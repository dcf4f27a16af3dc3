// Build-time tool of the Debian package: writes the program's icon at each requested size into
// OUTPUT_DIR/<size>x<size>/apps/cellwarden.png, the hicolor theme's layout.
#include <QDir>
#include <QString>
#include <cstdio>

#include "gui/app_icon.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s OUTPUT_DIR SIZE...\n", argv[0]);
    return 2;
  }
  const QDir output(QString::fromLocal8Bit(argv[1]));
  for (int i = 2; i < argc; ++i) {
    bool is_number = false;
    const int size = QString::fromLocal8Bit(argv[i]).toInt(&is_number);
    if (!is_number || size <= 0) {
      std::fprintf(stderr, "%s: not an icon size\n", argv[i]);
      return 2;
    }
    const QString folder = QStringLiteral("%1x%1/apps").arg(size);
    const QString file = output.filePath(folder + QStringLiteral("/cellwarden.png"));
    if (!output.mkpath(folder) || !cw::gui::AppIconImage(size).save(file, "PNG")) {
      std::fprintf(stderr, "%s: cannot be written\n", qPrintable(file));
      return 1;
    }
  }
  return 0;
}
