// The message catalogue in both languages and all four configurations.
#include <string>

#include "tests/support.h"
#include "updater/config.h"
#include "updater/messages.h"

std::int32_t MainProductLine = 1;
std::int32_t DemoMode = 0;

namespace {

struct Config {
  int mainLine, demo;
};

void Use(Config c, int dutch) {
  MainProductLine = c.mainLine;
  DemoMode = c.demo;
  LanguageDutch = dutch;
}

TEST(Messages, FixedTextsInBothLanguages) {
  const std::pair<int, std::pair<const char *, const char *>> fixed[] = {
      {5, {"Vorn update 20-okt-2003", "Vorn update 20-oct-2003"}},
      {6, {"Versie 2.03 van de", "Version 2.03 of the"}},
      {7, {"Nederlandse online help", "Dutch online help"}},
      {8, {"", ""}},
      {12, {"Annuleer", "Cancel"}},
      {17, {"Vorn directory niet gevonden", "Vorn directory not found"}},
      {18, {"Einde programma", "Exit program"}},
      {19, {"Talvik directory niet gevonden", "Talvik directory not found"}},
      {20, {"Tijdens de installatie mag Vorn niet actief zijn.", "During updating Vorn should not be active."}},
      {21, {"Tijdens de installatie mag er geen\nandere Talvik Software draaien.",
            "During updating no other Talvik Software should be active."}},
      {22, {"U heeft Vorn versie 2.0 nodig voor deze update.", "You need Vorn version 2.0 to be able to use this update."}},
  };
  for (Config c : {Config{1, 0}, Config{1, 1}, Config{0, 0}, Config{0, 1}}) {
    for (const auto &[id, texts] : fixed) {
      Use(c, 1);
      EXPECT_STREQ(MessageText(id), texts.first) << id;
      Use(c, 0);
      EXPECT_STREQ(MessageText(id), texts.second) << id;
    }
  }
}

TEST(Messages, ModeVariants) {
  Use({1, 0}, 1);
  EXPECT_STREQ(MessageText(4), "update informatie");
  EXPECT_STREQ(MessageText(11), "Installeer update");
  EXPECT_STREQ(MessageText(13), "De update is aangebracht.");
  EXPECT_STREQ(MessageText(14), "Update verslag");
  Use({1, 0}, 0);
  EXPECT_STREQ(MessageText(4), "update information");
  EXPECT_STREQ(MessageText(11), "Install update");
  EXPECT_STREQ(MessageText(13), "The update has been applied.");
  EXPECT_STREQ(MessageText(14), "Update report");
  Use({0, 1}, 1);
  EXPECT_STREQ(MessageText(4), "demo informatie");
  EXPECT_STREQ(MessageText(11), "Installeer demo");
  EXPECT_STREQ(MessageText(13), "Installatie succesvol.\nVeel plezier.");
  EXPECT_STREQ(MessageText(14), "Einde installatie");
  Use({0, 1}, 0);
  EXPECT_STREQ(MessageText(4), "demo information");
  EXPECT_STREQ(MessageText(11), "Install demo");
  EXPECT_STREQ(MessageText(13), "Installation completed.");
  EXPECT_STREQ(MessageText(14), "Installation finished");
}

TEST(Messages, ProductLineVariantsAndContactLines) {
  for (int dutch : {0, 1}) {
    Use({1, dutch}, dutch);
    const std::string mainCopyright = MessageText(9);
    EXPECT_STREQ(MessageText(10), dutch ? "het Vorn team" : "the Vorn team");
    Use({0, 0}, dutch);
    EXPECT_STREQ(MessageText(10), dutch ? "ontwikkelling" : "development");
    const std::string otherCopyright = MessageText(9);
    EXPECT_NE(mainCopyright, otherCopyright); // changes with the product line
    LanguageDutch = 1 - dutch;
    EXPECT_EQ(otherCopyright, MessageText(9)); // but not with the language
  }
  Use({1, 0}, 1);
  EXPECT_THAT(MessageText(15), ::testing::StartsWith("E-mail: "));
  EXPECT_THAT(MessageText(16), ::testing::StartsWith("Internet: "));
  const std::string dutchMail = MessageText(15);
  LanguageDutch = 0; // nothing is cached
  EXPECT_THAT(MessageText(15), ::testing::StartsWith("E-mail: "));
  EXPECT_NE(dutchMail, MessageText(15));
}

TEST(Messages, UnknownOutsideFourToTwentyTwo) {
  for (int dutch : {0, 1}) {
    Use({1, 0}, dutch);
    for (int id : {-1, 0, 1, 2, 3, 23, 24, 1000}) EXPECT_STREQ(MessageText(id), "Unknown") << id;
    for (int id = 4; id <= 22; ++id) EXPECT_STRNE(MessageText(id), "Unknown") << id;
  }
}

} // namespace
