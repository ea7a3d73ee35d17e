// Draws the program's built-in artwork: assets/banner.jpg (728 x 53 baseline JFIF JPEG) and
// assets/icon.png (128 x 128 RGBA). Both pictures come entirely from the code below: a Julia or
// Mandelbrot set in navy and orange, and the name in bold yellow letters with a dark outline.
//
// Build and run from the top of the tree (needs fonts-dejavu-core for the lettering):
// clang-format off
//   g++ -std=c++20 -O2 -fPIC tools/make_artwork.cpp $(pkg-config --cflags --libs Qt6Gui) -ljpeg -o /tmp/make_artwork
//   QT_QPA_PLATFORM=offscreen /tmp/make_artwork assets
// clang-format on
// The build embeds whatever the two files hold, so rebuilding the project picks up new artwork.
#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <jpeglib.h>

namespace {

constexpr int kBannerWidth = 728;
constexpr int kBannerHeight = 53;
constexpr int kIconSize = 128;
// Each output pixel averages kSupersample x kSupersample fractal samples, so the filaments
// shimmer instead of breaking into stair steps.
constexpr int kSupersample = 4;
// The banner is shown as-is on the start screen and copied into every gallery; around 28 KB
// keeps it sharp without weighing on the page. The range holds whether a KB is read as 1000 or
// 1024 bytes; the quality whose size lands nearest the middle wins.
constexpr unsigned long kBannerMinBytes = 27 * 1024;
constexpr unsigned long kBannerMaxBytes = 29 * 1000;
constexpr unsigned long kBannerTargetBytes = 28300;
constexpr char kLetteringFont[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
constexpr char kName[] = "Marbelow";

struct Rgb {
  double r, g, b;
};

// One turn of the palette: navy through blue and pale sky to orange and ember, back to navy, so
// the smooth escape count can wrap around without a seam.
constexpr std::array<Rgb, 7> kPalette = {{
    {6, 10, 46},
    {18, 52, 140},
    {60, 130, 215},
    {200, 225, 245},
    {255, 165, 40},
    {200, 80, 10},
    {60, 20, 40},
}};
constexpr Rgb kInside = {4, 6, 28};

Rgb PaletteAt(double t) {
  t -= std::floor(t);
  const double pos = t * kPalette.size();
  const int i = static_cast<int>(pos) % static_cast<int>(kPalette.size());
  const int j = (i + 1) % static_cast<int>(kPalette.size());
  // Smoothstep between stops hides the kinks a plain linear ramp shows at each stop.
  double f = pos - std::floor(pos);
  f = f * f * (3 - 2 * f);
  return {kPalette[i].r + (kPalette[j].r - kPalette[i].r) * f,
          kPalette[i].g + (kPalette[j].g - kPalette[i].g) * f,
          kPalette[i].b + (kPalette[j].b - kPalette[i].b) * f};
}

struct FractalView {
  std::complex<double> centre;
  double width;                               // span of the real axis across the picture
  std::optional<std::complex<double>> julia;  // the Julia constant, or nothing for Mandelbrot
  int max_iterations;
  double palette_scale;  // palette turns per unit of sqrt(escape count)
  double palette_offset;
};

// Colour of one point: a continuous escape count, compressed with a square root so the
// fast-escaping outer bands and the slow filaments both get a share of the palette.
Rgb FractalColour(std::complex<double> point, const FractalView& view) {
  std::complex<double> z = view.julia ? point : std::complex<double>{};
  const std::complex<double> c = view.julia ? *view.julia : point;
  constexpr double kBailout = 256.0 * 256.0;  // a large radius makes the smoothing exact
  for (int n = 0; n < view.max_iterations; ++n) {
    z = z * z + c;
    const double norm = std::norm(z);
    if (norm > kBailout) {
      const double mu = n + 1 - std::log2(std::log2(norm) / 2);
      return PaletteAt(std::sqrt(std::max(mu, 0.0)) * view.palette_scale + view.palette_offset);
    }
  }
  return kInside;
}

QImage RenderFractal(int width, int height, const FractalView& view) {
  QImage image(width, height, QImage::Format_RGB32);
  const double step = view.width / (width * kSupersample);
  const double left = view.centre.real() - view.width / 2;
  const double top = view.centre.imag() + step * height * kSupersample / 2;
  for (int y = 0; y < height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width; ++x) {
      Rgb sum{0, 0, 0};
      for (int sy = 0; sy < kSupersample; ++sy) {
        for (int sx = 0; sx < kSupersample; ++sx) {
          const std::complex<double> point{left + step * (x * kSupersample + sx + 0.5),
                                           top - step * (y * kSupersample + sy + 0.5)};
          const Rgb c = FractalColour(point, view);
          sum.r += c.r;
          sum.g += c.g;
          sum.b += c.b;
        }
      }
      constexpr double kSamples = kSupersample * kSupersample;
      line[x] = qRgb(static_cast<int>(std::lround(sum.r / kSamples)),
                     static_cast<int>(std::lround(sum.g / kSamples)),
                     static_cast<int>(std::lround(sum.b / kSamples)));
    }
  }
  return image;
}

QFont LetteringFont() {
  const int id = QFontDatabase::addApplicationFont(kLetteringFont);
  QFont font;
  if (id >= 0) {
    font.setFamily(QFontDatabase::applicationFontFamilies(id).value(0));
  } else {
    std::fprintf(stderr, "%s not found, lettering falls back to the default font\n",
                 kLetteringFont);
  }
  font.setBold(true);
  font.setPixelSize(200);  // drawn large, then scaled to fit, so hinting plays no part
  return font;
}

// `text` as an outline whose ink box fills `box` in height (or width, if that binds first),
// centred in it.
QPainterPath LetteringPath(const QString& text, const QRectF& box) {
  QPainterPath path;
  path.addText(0, 0, LetteringFont(), text);
  const QRectF ink = path.boundingRect();
  const double scale = std::min(box.height() / ink.height(), box.width() / ink.width());
  QTransform fit;
  fit.translate(box.center().x(), box.center().y());
  fit.scale(scale, scale);
  fit.translate(-ink.center().x(), -ink.center().y());
  return fit.map(path);
}

// Soft shadow, dark outline, then a yellow fill that warms from top to bottom.
void DrawLettering(QPainter& painter, const QPainterPath& path, double outline) {
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF ink = path.boundingRect();
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0, 0, 0, 90));
  painter.drawPath(path.translated(outline * 0.6, outline * 0.6));
  painter.setPen(QPen(QColor(22, 14, 30), outline * 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(path);
  QLinearGradient fill(ink.topLeft(), ink.bottomLeft());
  fill.setColorAt(0.0, QColor(255, 246, 140));
  fill.setColorAt(0.45, QColor(255, 222, 30));
  fill.setColorAt(1.0, QColor(250, 182, 0));
  painter.setPen(Qt::NoPen);
  painter.setBrush(fill);
  painter.drawPath(path);
}

QImage DrawBanner() {
  // A horizontal slice through the middle of a Julia set whose spirals string along the real
  // axis; navy dominates, so the yellow lettering stands out.
  const FractalView view{{0.0, 0.0}, 2.45, std::complex<double>{-0.8, 0.156}, 600, 0.42, 0.05};
  QImage banner = RenderFractal(kBannerWidth, kBannerHeight, view);
  QPainter painter(&banner);
  // The outline is drawn half outside the ink box, so leave it room at the top and bottom.
  constexpr double kOutline = 2.0;
  const QRectF box(0, kOutline + 1, kBannerWidth, kBannerHeight - 2 * (kOutline + 1));
  DrawLettering(painter, LetteringPath(kName, box), kOutline);
  painter.end();
  return banner;
}

QImage DrawIcon() {
  QImage icon(kIconSize, kIconSize, QImage::Format_ARGB32_Premultiplied);
  icon.fill(Qt::transparent);
  const QRectF tile(5, 5, kIconSize - 10, kIconSize - 10);
  QPainterPath rounded;
  rounded.addRoundedRect(tile, 24, 24);

  // The seahorse valley of the Mandelbrot set, in the banner's palette.
  const FractalView view{{-0.7453, 0.1127}, 0.011, std::nullopt, 900, 0.45, 0.6};
  const QImage fractal = RenderFractal(kIconSize, kIconSize, view);

  QPainter painter(&icon);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setClipPath(rounded);
  painter.drawImage(0, 0, fractal);
  painter.setClipping(false);
  painter.setPen(QPen(QColor(22, 14, 30), 3));
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(rounded);

  constexpr double kOutline = 3.5;
  DrawLettering(painter, LetteringPath("M", tile.adjusted(22, 24, -22, -24)), kOutline);
  painter.end();
  return icon.convertToFormat(QImage::Format_ARGB32);
}

// Baseline JFIF 1.01 at 72 dpi, YCbCr 4:2:0, Huffman tables as the standard gives them.
std::vector<std::uint8_t> EncodeJpeg(const QImage& image, int quality) {
  const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
  jpeg_compress_struct info{};
  jpeg_error_mgr err{};
  info.err = jpeg_std_error(&err);  // the defaults print and exit, which suits a tool
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(rgb.width());
  info.image_height = static_cast<JDIMENSION>(rgb.height());
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  info.write_JFIF_header = TRUE;
  info.JFIF_major_version = 1;
  info.JFIF_minor_version = 1;
  info.density_unit = 1;
  info.X_density = 72;
  info.Y_density = 72;
  info.optimize_coding = FALSE;
  info.comp_info[0].h_samp_factor = 2;
  info.comp_info[0].v_samp_factor = 2;
  for (int c = 1; c < 3; ++c) {
    info.comp_info[c].h_samp_factor = 1;
    info.comp_info[c].v_samp_factor = 1;
  }
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(rgb.constScanLine(static_cast<int>(info.next_scanline)));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::vector<std::uint8_t> bytes(buffer, buffer + size);
  std::free(buffer);
  return bytes;
}

bool WriteFile(const QString& path, const std::vector<std::uint8_t>& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) &&
         file.write(reinterpret_cast<const char*>(bytes.data()),
                    static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size());
}

std::uint64_t Distance(unsigned long a, unsigned long b) { return a > b ? a - b : b - a; }

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("assets");

  const QImage banner = DrawBanner();
  std::vector<std::uint8_t> best;
  int best_quality = 0;
  for (int quality = 50; quality <= 100; ++quality) {
    std::vector<std::uint8_t> bytes = EncodeJpeg(banner, quality);
    if (bytes.size() >= kBannerMinBytes && bytes.size() <= kBannerMaxBytes &&
        (best.empty() ||
         Distance(bytes.size(), kBannerTargetBytes) < Distance(best.size(), kBannerTargetBytes))) {
      best = std::move(bytes);
      best_quality = quality;
    }
  }
  if (best.empty()) {
    std::fprintf(stderr, "no quality puts the banner between %lu and %lu bytes\n", kBannerMinBytes,
                 kBannerMaxBytes);
    return 1;
  }
  if (!WriteFile(folder + "/banner.jpg", best)) {
    std::fprintf(stderr, "cannot write %s/banner.jpg\n", qPrintable(folder));
    return 1;
  }
  std::printf("banner.jpg: quality %d, %zu bytes\n", best_quality, best.size());

  if (!DrawIcon().save(folder + "/icon.png", "PNG")) {
    std::fprintf(stderr, "cannot write %s/icon.png\n", qPrintable(folder));
    return 1;
  }
  std::printf("icon.png written\n");
  return 0;
}
