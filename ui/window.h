// The program's one window: its controls, their places, texts and first states, and the order in
// which they are made.
#pragma once

#include <string>

#include "gallery/controls.h"
#include "platform/controls.h"

namespace ui {

inline constexpr char kWindowTitle[] = "Marbelow";
inline constexpr int kClientWidth = 749;
inline constexpr int kClientHeight = 486;
inline constexpr char kPicturePatterns[] = "*.jpg;*.jpeg;*.bmp;*.gif;*.png";

enum class Kind {
  kImage,
  kFolderTree,
  kPictureList,
  kFrame,
  kLabel,
  kTextField,
  kCheckBox,
  kSlider,
  kSpin,
  kOptionButton,
  kButton,
  kTile,  // the tile preview: made with the tile, not from this table
};

struct ControlSpec {
  gallery::ControlNumber id;
  Kind kind;
  platform::Rect rect;
  const char* text;        // nullptr when the control has none or computes it
  const char* accessible;  // what a screen reader calls it
};

// Every control in creation order, which is also the order Tab walks.
inline constexpr ControlSpec kControls[] = {
    {gallery::kBannerImage, Kind::kImage, {10, 10, 728, 53}, nullptr, "Marbelow"},
    {gallery::kFolderTree, Kind::kFolderTree, {11, 73, 230, 300}, nullptr, "Dossiers"},
    {gallery::kPictureList,
     Kind::kPictureList,
     {247, 73, 490, 300},
     kPicturePatterns,
     "Images du dossier"},
    {gallery::kOptionsFrame, Kind::kFrame, {11, 380, 727, 65}, nullptr, "Options"},
    {gallery::kTitleLabel,
     Kind::kLabel,
     {20, 388, 90, 20},
     "Titre de la page :",
     "Titre de la page"},
    {gallery::kTitleField, Kind::kTextField, {20, 410, 110, 20}, nullptr, "Titre de la page"},
    {gallery::kThumbnailsCheck, Kind::kCheckBox, {150, 388, 70, 20}, " Vignettes :", "Vignettes"},
    {gallery::kWidthSlider, Kind::kSlider, {140, 410, 180, 25}, nullptr, "Largeur des vignettes"},
    {gallery::kWidthLabel, Kind::kLabel, {235, 391, 95, 17}, nullptr, "Largeur des vignettes"},
    {gallery::kColumnsLabel, Kind::kLabel, {349, 391, 50, 20}, "Colonnes :", "Colonnes"},
    {gallery::kColumnsSpin, Kind::kSpin, {427, 388, 45, 25}, nullptr, "Nombre de colonnes"},
    {gallery::kFixedColumnsOption,
     Kind::kOptionButton,
     {404, 390, 20, 20},
     "",
     "Nombre de colonnes fixe"},
    {gallery::kAutoOption,
     Kind::kOptionButton,
     {404, 418, 92, 20},
     "Auto",
     "Colonnes automatiques"},
    {gallery::kWallpaperCheck,
     Kind::kCheckBox,
     {500, 388, 80, 20},
     " Papier peint :",
     "Papier peint"},
    {gallery::kColourButton,
     Kind::kButton,
     {500, 412, 80, 18},
     "Couleur",
     "Couleur du papier peint"},
    {gallery::kTilePreview, Kind::kTile, gallery::kTilePreviewRect, nullptr,
     "Aperçu du papier peint"},
    {gallery::kViewCheck, Kind::kCheckBox, {650, 388, 80, 20}, " Visualiser", "Visualiser la page"},
    {gallery::kGenerateButton, Kind::kButton, gallery::kGenerateButtonRect, gallery::kGenerateText,
     "Générer la page"},
};

inline constexpr int kSliderMinimum = 0, kSliderMaximum = 20, kSliderStart = 2;
inline constexpr int kColumnsMinimum = 1, kColumnsMaximum = 100, kColumnsStart = 8;

// "150 pixels de large" for slider position 2: the thumbnail width, then the unit.
std::string WidthLabelText(int slider_position);

// Opens the window and makes every control in order, in its first state, with the white tile and
// its preview; last binds `folder_change` to the folder tree's change events.
void BuildWindow(platform::Handler folder_change);

}  // namespace ui
