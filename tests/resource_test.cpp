// The dialog templates are written twice: in updater.rc for the Windows
// resource compiler and as control tables in templates.cpp for the other
// platforms (and the tests). This reads the .rc file, with the ids of
// resource.h, and compares every template and control with the tables.
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support.h"
#include "updater/dialogs.h"

namespace {

std::string Slurp(const std::string &path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Trim(const std::string &s) {
  const std::size_t a = s.find_first_not_of(" \t");
  return a == std::string::npos ? "" : s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

// Splits at commas outside quotes.
std::vector<std::string> Fields(const std::string &s) {
  std::vector<std::string> out(1);
  bool quoted = false;
  for (const char c : s) {
    if (c == '"') quoted = !quoted;
    if (c == ',' && !quoted) out.emplace_back();
    else out.back() += c;
  }
  for (auto &f : out) f = Trim(f);
  return out;
}

struct Rc {
  std::map<std::string, int> ids;                                             // resource.h
  std::map<std::string, std::pair<std::vector<std::string>, std::string>> macros; // function-like, in the .rc

  int Id(const std::string &token) const {
    const auto it = ids.find(token);
    return it != ids.end() ? it->second : std::stoi(token);
  }
  std::string Unquote(const std::string &s) const { return s.size() >= 2 && s[0] == '"' ? s.substr(1, s.size() - 2) : s; }

  // A macro call expanded once (its parameters replaced as whole words).
  std::string Expand(const std::string &line) const {
    static const std::regex call(R"(^(\w+)\((.*)\)$)");
    std::smatch m;
    const std::string t = Trim(line);
    if (!std::regex_match(t, m, call) || !macros.count(m[1])) return t;
    const auto &[params, body] = macros.at(m[1]);
    const std::vector<std::string> args = Fields(m[2]);
    std::string out = body;
    for (std::size_t i = 0; i < params.size() && i < args.size(); ++i)
      out = std::regex_replace(out, std::regex("\\b" + params[i] + "\\b"), args[i]);
    return out;
  }

  DialogControl Control(const std::string &statement, std::string *text) const {
    const std::size_t space = statement.find_first_of(" \t");
    const std::string keyword = statement.substr(0, space);
    std::vector<std::string> f = Fields(statement.substr(space + 1));
    static const std::map<std::string, ControlKind> kinds{
        {"GROUPBOX", ControlKind::GroupBox}, {"LTEXT", ControlKind::Text},
        {"CTEXT", ControlKind::CentredText}, {"DEFPUSHBUTTON", ControlKind::DefaultButton},
        {"PUSHBUTTON", ControlKind::Button}};
    ControlKind kind;
    if (keyword == "EDITTEXT") {
      f.insert(f.begin(), "\"\"");
      kind = ControlKind::Edit;
    } else if (keyword == "CONTROL") {
      // CONTROL text, id, class, style, x, y, w, h: here only the icons.
      EXPECT_NE(f.at(3).find("SS_ICON"), std::string::npos) << statement;
      f.erase(f.begin() + 2, f.begin() + 4);
      kind = ControlKind::Icon;
    } else {
      EXPECT_TRUE(kinds.count(keyword)) << "unknown statement: " << statement;
      kind = kinds.count(keyword) ? kinds.at(keyword) : ControlKind::Text;
    }
    *text = Unquote(f.at(0));
    return DialogControl{Id(f.at(1)), kind, static_cast<short>(std::stoi(f.at(2))), static_cast<short>(std::stoi(f.at(3))),
                         static_cast<short>(std::stoi(f.at(4))), static_cast<short>(std::stoi(f.at(5))), nullptr};
  }
};

TEST(Resources, TheRcTemplatesAreTheControlTables) {
  Rc rc;
  static const std::regex define(R"(^#define\s+(\w+)\s+\(?(-?\d+)\)?)");
  std::istringstream header(Slurp(VORN_SOURCE_DIR "/updater/resource.h"));
  for (std::string line; std::getline(header, line);) {
    std::smatch m;
    if (std::regex_search(line, m, define)) rc.ids[m[1]] = std::stoi(m[2]);
  }
  ASSERT_EQ(rc.ids.at("IDC_DIRECTORY"), 2022);

  std::istringstream file(Slurp(VORN_SOURCE_DIR "/updater/updater.rc"));
  static const std::regex function(R"(^#define\s+(\w+)\((.*?)\)\s+(.*)$)");
  static const std::regex dialog(R"(^(\w+)\s+DIALOGEX\s+0,\s*0,\s*(\d+),\s*(\d+))");
  std::map<int, std::pair<DialogTemplate, std::vector<std::pair<DialogControl, std::string>>>> found;
  std::map<int, std::string> titles;
  int current = 0;
  bool inside = false;
  for (std::string line; std::getline(file, line);) {
    std::smatch m;
    if (std::regex_match(line, m, function)) rc.macros[m[1]] = {Fields(m[2]), m[3]};
    else if (std::regex_search(line, m, dialog)) {
      current = rc.Id(m[1]);
      found[current].first = DialogTemplate{current, static_cast<short>(std::stoi(m[2])), static_cast<short>(std::stoi(m[3])),
                                            nullptr, nullptr, 0};
    } else if (current && line.rfind("CAPTION", 0) == 0) {
      titles[current] = rc.Unquote(Trim(line.substr(7)));
    } else if (current && Trim(line) == "BEGIN") inside = true;
    else if (current && Trim(line) == "END") inside = false, current = 0;
    else if (inside && !Trim(line).empty()) {
      std::string text;
      const DialogControl c = rc.Control(rc.Expand(line), &text);
      found[current].second.emplace_back(c, text);
    }
  }

  for (const DialogTemplate *t : {&kTemplate3001, &kTemplate3002, &kTemplate3003}) {
    ASSERT_TRUE(found.count(t->resourceId)) << t->resourceId;
    const auto &[rcTemplate, controls] = found.at(t->resourceId);
    EXPECT_EQ(rcTemplate.w, t->w) << t->resourceId;
    EXPECT_EQ(rcTemplate.h, t->h) << t->resourceId;
    EXPECT_EQ(titles[t->resourceId], t->title) << t->resourceId;
    ASSERT_EQ(static_cast<int>(controls.size()), t->count) << t->resourceId;
    for (int i = 0; i < t->count; ++i) {
      const DialogControl &want = t->controls[i];
      const auto &[got, text] = controls[static_cast<std::size_t>(i)];
      const std::string where = std::to_string(t->resourceId) + " control " + std::to_string(i);
      EXPECT_EQ(got.id, want.id) << where;
      EXPECT_EQ(got.kind, want.kind) << where;
      EXPECT_EQ(std::vector<short>({got.x, got.y, got.w, got.h}), std::vector<short>({want.x, want.y, want.w, want.h})) << where;
      EXPECT_EQ(text, want.text) << where;
    }
  }
}

} // namespace
