// The control tables of the dialog templates 3001, 3002 and 3003, made from
// updater/templates.inc, the list the Windows resources (updater.rc) are made
// from as well: one set of figures for both.
#include <cstddef>

#include "updater/dialogs.h"
#include "updater/resource.h"

namespace {

template <std::size_t N> constexpr int Count(const DialogControl (&)[N]) { return static_cast<int>(N); }

} // namespace

#define DLG_BEGIN(name, id, w, h, title)                                   \
  namespace {                                                              \
  constexpr DialogTemplate name##Shape = {id, w, h, title, nullptr, 0};    \
  const DialogControl name##Controls[] = {
#define DLG_END(name)                                                                                  \
  }                                                                                                    \
  ;                                                                                                    \
  }                                                                                                    \
  const DialogTemplate name = {name##Shape.resourceId, name##Shape.w,        name##Shape.h,            \
                               name##Shape.title,      name##Controls, Count(name##Controls)};
#define CTL_ICON(id, x, y, w, h) {id, ControlKind::Icon, x, y, w, h, ""},
#define CTL_EDIT(id, x, y, w, h) {id, ControlKind::Edit, x, y, w, h, ""},
#define CTL_GROUPBOX(text, id, x, y, w, h) {id, ControlKind::GroupBox, x, y, w, h, text},
#define CTL_TEXT(text, id, x, y, w, h) {id, ControlKind::Text, x, y, w, h, text},
#define CTL_CENTRED(text, id, x, y, w, h) {id, ControlKind::CentredText, x, y, w, h, text},
#define CTL_DEFBUTTON(text, id, x, y, w, h) {id, ControlKind::DefaultButton, x, y, w, h, text},
#define CTL_BUTTON(text, id, x, y, w, h) {id, ControlKind::Button, x, y, w, h, text},
#include "updater/templates.inc"
