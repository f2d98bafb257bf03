// The control tables of the dialog templates 3001, 3002 and 3003, in dialog
// units. The Windows resources are built from the same figures.
#include <cstddef>

#include "updater/dialogs.h"

namespace {

using K = ControlKind;

// The icons and the information box, the same in every template.
#define INFORMATION_CONTROLS                                                                       \
  {2001, K::Icon, 14, 21, 18, 20, ""}, {2013, K::Icon, 201, 21, 18, 20, ""},                       \
      {2017, K::GroupBox, 43, 6, 149, 44, "informatie"}, {2014, K::Text, 53, 17, 138, 8, "regel 1"}, \
      {2015, K::Text, 53, 27, 138, 8, "regel 2"}, {2016, K::Text, 53, 37, 138, 8, "regel 3"}

// The credits and contact boxes of the main line's templates (3001, 3003),
// which differ only in the copyright line's position.
#define MAIN_LINE_CONTROLS(copyrightY)                                                             \
  {2012, K::GroupBox, 11, 58, 85, 57, "team"}, {2007, K::Text, 21, 70, 68, 8, "Anneke de Vries"},  \
      {2008, K::Text, 21, 80, 64, 8, "Joost Bakker"}, {2009, K::Text, 21, 90, 60, 8, "Marieke Jansen"}, \
      {2010, K::Text, 21, 100, 64, 8, "Pieter Visser"},                                            \
      {2011, K::CentredText, 15, copyrightY, 201, 8, "copyright"},                                 \
      {-1, K::GroupBox, 111, 58, 112, 57, "internet"}, {2020, K::Text, 120, 69, 96, 8, "e-mail"},  \
      {2021, K::Text, 120, 80, 96, 8, "internet"}

const DialogControl k3001[] = {
    INFORMATION_CONTROLS,
    MAIN_LINE_CONTROLS(127),
    {1, K::DefaultButton, 34, 147, 66, 14, "OK"},
    {2, K::Button, 128, 147, 66, 14, "Cancel"},
};

const DialogControl k3003[] = {
    INFORMATION_CONTROLS,
    MAIN_LINE_CONTROLS(124),
    {-1, K::GroupBox, 11, 138, 212, 34, "Vorn demo directory"},
    {2022, K::Edit, 21, 151, 194, 14, ""},
    {1, K::DefaultButton, 34, 181, 66, 14, "OK"},
    {2, K::Button, 128, 181, 66, 14, "Cancel"},
};

const DialogControl k3002[] = {
    INFORMATION_CONTROLS,
    {2012, K::GroupBox, 11, 58, 81, 79, "ontwikkeling"},
    {-1, K::Text, 21, 70, 64, 8, "Sanne Mulder"},
    {-1, K::Text, 21, 80, 64, 8, "Bram de Jong"},
    {-1, K::Text, 21, 90, 64, 8, "Lotte Smit"},
    {-1, K::Text, 21, 100, 64, 8, "Daan Meijer"},
    {-1, K::Text, 21, 110, 64, 8, "Eva de Boer"},
    {-1, K::Text, 21, 120, 64, 8, "Ruben Bos"},
    {2011, K::CentredText, 111, 127, 112, 8, "copyright"},
    {-1, K::GroupBox, 106, 58, 122, 57, "internet"},
    {2020, K::Text, 115, 69, 80, 8, "info@vorn.example"},
    {2021, K::Text, 115, 80, 96, 8, "www.vorn.example"},
    {2018, K::Text, 115, 91, 100, 8, "info@talvik.example"},
    {2019, K::Text, 115, 102, 106, 8, "www.talvik.example"},
    {1, K::DefaultButton, 34, 157, 66, 14, "OK"},
    {2, K::Button, 128, 157, 66, 14, "Cancel"},
};

#undef INFORMATION_CONTROLS
#undef MAIN_LINE_CONTROLS

template <std::size_t N> constexpr int Count(const DialogControl (&)[N]) { return static_cast<int>(N); }

} // namespace

const DialogTemplate kTemplate3001 = {3001, 237, 171, "Vorn update", k3001, Count(k3001)};
const DialogTemplate kTemplate3002 = {3002, 237, 182, "Talvik update", k3002, Count(k3002)};
const DialogTemplate kTemplate3003 = {3003, 237, 205, "Vorn demo", k3003, Count(k3003)};
