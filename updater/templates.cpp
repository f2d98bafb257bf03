// The control tables of the dialog templates 3001, 3002 and 3003, in dialog
// units. The Windows resources are built from the same figures.
#include <cstddef>

#include "updater/dialogs.h"
#include "updater/resource.h"

namespace {

using K = ControlKind;

// The icons and the information box, the same in every template.
#define INFORMATION_CONTROLS                                                                       \
  {IDC_ICON_LEFT, K::Icon, 14, 21, 18, 20, ""}, {IDC_ICON_RIGHT, K::Icon, 201, 21, 18, 20, ""},                       \
      {IDC_INFO_BOX, K::GroupBox, 43, 6, 149, 44, "informatie"}, {IDC_INFO_1, K::Text, 53, 17, 138, 8, "regel 1"}, \
      {IDC_INFO_2, K::Text, 53, 27, 138, 8, "regel 2"}, {IDC_INFO_3, K::Text, 53, 37, 138, 8, "regel 3"}

// The credits and contact boxes of the main line's templates (3001, 3003),
// which differ only in the copyright line's position.
#define MAIN_LINE_CONTROLS(copyrightY)                                                             \
  {IDC_TEAM_BOX, K::GroupBox, 11, 58, 85, 57, "team"}, {IDC_TEAM_1, K::Text, 21, 70, 68, 8, "Anneke de Vries"},  \
      {IDC_TEAM_2, K::Text, 21, 80, 64, 8, "Joost Bakker"}, {IDC_TEAM_3, K::Text, 21, 90, 60, 8, "Marieke Jansen"}, \
      {IDC_TEAM_4, K::Text, 21, 100, 64, 8, "Pieter Visser"},                                            \
      {IDC_COPYRIGHT, K::CentredText, 15, copyrightY, 201, 8, "copyright"},                                 \
      {IDC_NONE, K::GroupBox, 111, 58, 112, 57, "internet"}, {IDC_MAIL, K::Text, 120, 69, 96, 8, "e-mail"},  \
      {IDC_WEB, K::Text, 120, 80, 96, 8, "internet"}

const DialogControl k3001[] = {
    INFORMATION_CONTROLS,
    MAIN_LINE_CONTROLS(127),
    {IDC_INSTALL, K::DefaultButton, 34, 147, 66, 14, "OK"},
    {IDC_CANCEL, K::Button, 128, 147, 66, 14, "Cancel"},
};

const DialogControl k3003[] = {
    INFORMATION_CONTROLS,
    MAIN_LINE_CONTROLS(124),
    {IDC_NONE, K::GroupBox, 11, 138, 212, 34, "Vorn demo directory"},
    {IDC_DIRECTORY, K::Edit, 21, 151, 194, 14, ""},
    {IDC_INSTALL, K::DefaultButton, 34, 181, 66, 14, "OK"},
    {IDC_CANCEL, K::Button, 128, 181, 66, 14, "Cancel"},
};

const DialogControl k3002[] = {
    INFORMATION_CONTROLS,
    {IDC_TEAM_BOX, K::GroupBox, 11, 58, 81, 79, "ontwikkeling"},
    {IDC_NONE, K::Text, 21, 70, 64, 8, "Sanne Mulder"},
    {IDC_NONE, K::Text, 21, 80, 64, 8, "Bram de Jong"},
    {IDC_NONE, K::Text, 21, 90, 64, 8, "Lotte Smit"},
    {IDC_NONE, K::Text, 21, 100, 64, 8, "Daan Meijer"},
    {IDC_NONE, K::Text, 21, 110, 64, 8, "Eva de Boer"},
    {IDC_NONE, K::Text, 21, 120, 64, 8, "Ruben Bos"},
    {IDC_COPYRIGHT, K::CentredText, 111, 127, 112, 8, "copyright"},
    {IDC_NONE, K::GroupBox, 106, 58, 122, 57, "internet"},
    {IDC_MAIL, K::Text, 115, 69, 80, 8, "info@vorn.example"},
    {IDC_WEB, K::Text, 115, 80, 96, 8, "www.vorn.example"},
    {IDC_OTHER_MAIL, K::Text, 115, 91, 100, 8, "info@talvik.example"},
    {IDC_OTHER_WEB, K::Text, 115, 102, 106, 8, "www.talvik.example"},
    {IDC_INSTALL, K::DefaultButton, 34, 157, 66, 14, "OK"},
    {IDC_CANCEL, K::Button, 128, 157, 66, 14, "Cancel"},
};

#undef INFORMATION_CONTROLS
#undef MAIN_LINE_CONTROLS

template <std::size_t N> constexpr int Count(const DialogControl (&)[N]) { return static_cast<int>(N); }

} // namespace

const DialogTemplate kTemplate3001 = {IDD_UPDATE, 237, 171, "Vorn update", k3001, Count(k3001)};
const DialogTemplate kTemplate3002 = {IDD_OTHER_LINE, 237, 182, "Talvik update", k3002, Count(k3002)};
const DialogTemplate kTemplate3003 = {IDD_DEMO, 237, 205, "Vorn demo", k3003, Count(k3003)};
