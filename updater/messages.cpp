#include "updater/messages.h"

#include "updater/config.h"
#include "vorn_version.h" // message 6 names the programs' version

namespace {

struct Texts {
  const char *dutch;
  const char *english;
};

// Ids 4 to 22; for 4, 11, 13, 14 the update-mode texts, for 9 and 10 the main line's.
const Texts kCatalogue[] = {
    /* 4 */ {"update informatie", "update information"},
    /* 5 */ {"Vorn update 20-okt-2003", "Vorn update 20-oct-2003"},
    /* 6 */ {"Versie " VORN_VERSION_TEXT " van de", "Version " VORN_VERSION_TEXT " of the"},
    /* 7 */ {"Nederlandse online help", "Dutch online help"},
    /* 8 */ {"", ""},
    /* 9 */ {"(c) 2003 Vorn Software", "(c) 2003 Vorn Software"},
    /* 10 */ {"het Vorn team", "the Vorn team"},
    /* 11 */ {"Installeer update", "Install update"},
    /* 12 */ {"Annuleer", "Cancel"},
    /* 13 */ {"De update is aangebracht.", "The update has been applied."},
    /* 14 */ {"Update verslag", "Update report"},
    /* 15 */ {"E-mail: info@vorn.example", "E-mail: support@vorn.example"},
    /* 16 */ {"Internet: vorn.example/nl", "Internet: vorn.example/en"},
    /* 17 */ {"Vorn directory niet gevonden", "Vorn directory not found"},
    /* 18 */ {"Einde programma", "Exit program"},
    /* 19 */ {"Talvik directory niet gevonden", "Talvik directory not found"},
    /* 20 */ {"Tijdens de installatie mag Vorn niet actief zijn.", "During updating Vorn should not be active."},
    /* 21 */ {"Tijdens de installatie mag er geen\nandere Talvik Software draaien.",
              "During updating no other Talvik Software should be active."},
    /* 22 */ {"U heeft Vorn versie 2.0 nodig voor deze update.",
              "You need Vorn version 2.0 to be able to use this update."},
};

const Texts kDemo[] = {
    /* 4 */ {"demo informatie", "demo information"},
    /* 11 */ {"Installeer demo", "Install demo"},
    /* 13 */ {"Installatie succesvol.\nVeel plezier.", "Installation completed."},
    /* 14 */ {"Einde installatie", "Installation finished"},
};

const Texts kOtherLine[] = {
    /* 9 */ {"(c) 2003 Talvik Software", "(c) 2003 Talvik Software"},
    /* 10 */ {"ontwikkelling", "development"},
};

const char *Pick(const Texts &t) { return LanguageDutch != 0 ? t.dutch : t.english; }

} // namespace

const char *DamagedUpdateText() {
  return Pick({"De update is beschadigd; er is niets gewijzigd.", "The update is damaged; nothing was changed."});
}

const char *UndoneText() {
  return Pick({"Er is niets gewijzigd: de installatie is zoals ze was.",
               "Nothing was changed: the installation is as it was."});
}

const char *FileInUseFormat(bool holderKnown) {
  if (holderKnown)
    return Pick({"Het bestand [%s] is in gebruik door %s.\nSluit het en kies Opnieuw; Annuleren laat de installatie zoals ze was.",
                 "The file [%s] is in use by %s.\nClose it and choose Retry; Cancel leaves the installation as it was."});
  return Pick({"Het bestand [%s] is in gebruik door een ander programma.\nSluit het en kies Opnieuw; Annuleren laat de "
               "installatie zoals ze was.",
               "The file [%s] is in use by another program.\nClose it and choose Retry; Cancel leaves the installation "
               "as it was."});
}

const char *MessageText(std::int32_t id) {
  if (id < 4 || id > 22) return "Unknown";
  if (DemoMode == 1) {
    switch (id) {
    case 4: return Pick(kDemo[0]);
    case 11: return Pick(kDemo[1]);
    case 13: return Pick(kDemo[2]);
    case 14: return Pick(kDemo[3]);
    default: break;
    }
  }
  if (MainProductLine == 0 && (id == 9 || id == 10)) return Pick(kOtherLine[id - 9]);
  return Pick(kCatalogue[id - 4]);
}
