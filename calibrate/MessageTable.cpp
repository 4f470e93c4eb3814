#include "MessageTable.h"

#include <array>

namespace {

constexpr int kEnglish = 1210;
constexpr int kLanguages = 5;

// Columns: English, French, Spanish, Italian, German.
constexpr std::array<std::array<const char*, kLanguages>, 8> kRows{{
    {"Calibration was successful.\n",
     "L'\351talonnage a r\351ussi.\n",
     "La calibraci\363n se ha realizado correctamente.\n",
     "La calibrazione \350 riuscita.\n",
     "Die Kalibrierung war erfolgreich.\n"},
    {"The calibration process has failed.\n\nCheck that the calibration paper was inserted properly and the scanner "
     "is ready.",
     "L'\351talonnage a \351chou\351.\n\nV\351rifiez que la feuille d'\351talonnage est correctement ins\351r\351e "
     "et que le scanner est pr\352t.",
     "El proceso de calibraci\363n ha fallado.\n\nCompruebe que el papel de calibraci\363n est\341 bien insertado "
     "y que el esc\341ner est\341 preparado.",
     "La procedura di calibrazione non \350 riuscita.\n\nVerificare che il foglio di calibrazione sia inserito "
     "correttamente e che lo scanner sia pronto.",
     "Die Kalibrierung ist fehlgeschlagen.\n\nPr\374fen Sie, ob das Kalibrierblatt richtig eingelegt und der "
     "Scanner bereit ist."},
    {"White-only calibration was successful.\n\nFor better image quality calibrate again using the black and white "
     "calibration paper.",
     "L'\351talonnage du blanc seul a r\351ussi.\n\nPour une meilleure qualit\351 d'image, recommencez "
     "l'\351talonnage avec la feuille d'\351talonnage noir et blanc.",
     "La calibraci\363n solo de blanco se ha realizado correctamente.\n\nPara obtener una mejor calidad de imagen, "
     "vuelva a calibrar con el papel de calibraci\363n blanco y negro.",
     "La calibrazione del solo bianco \350 riuscita.\n\nPer una migliore qualit\340 dell'immagine, ripetere la "
     "calibrazione con il foglio di calibrazione bianco e nero.",
     "Die Nur-Wei\337-Kalibrierung war erfolgreich.\n\nF\374r eine bessere Bildqualit\344t kalibrieren Sie erneut "
     "mit dem schwarzwei\337en Kalibrierblatt."},
    {"Cancel", "Annuler", "Cancelar", "Annulla", "Abbrechen"},
    {"In order to scan the scanner must first be calibrated.",
     "Pour pouvoir num\351riser, le scanner doit d'abord \352tre \351talonn\351.",
     "Para poder escanear, primero hay que calibrar el esc\341ner.",
     "Per eseguire la scansione, lo scanner deve prima essere calibrato.",
     "Vor dem Scannen muss der Scanner kalibriert werden."},
    {"Please insert the black and white calibration paper face down into the scanner then press Calibrate.",
     "Ins\351rez la feuille d'\351talonnage noir et blanc face vers le bas dans le scanner, puis cliquez sur "
     "\311talonner.",
     "Inserte el papel de calibraci\363n blanco y negro boca abajo en el esc\341ner y pulse Calibrar.",
     "Inserire il foglio di calibrazione bianco e nero nello scanner con il lato stampato verso il basso, quindi "
     "premere Calibra.",
     "Legen Sie das schwarzwei\337e Kalibrierblatt mit der Vorderseite nach unten in den Scanner ein und klicken "
     "Sie dann auf Kalibrieren."},
    {"Please insert the black and white calibration paper into the scanner then press Calibrate.",
     "Ins\351rez la feuille d'\351talonnage noir et blanc dans le scanner, puis cliquez sur \311talonner.",
     "Inserte el papel de calibraci\363n blanco y negro en el esc\341ner y pulse Calibrar.",
     "Inserire il foglio di calibrazione bianco e nero nello scanner, quindi premere Calibra.",
     "Legen Sie das schwarzwei\337e Kalibrierblatt in den Scanner ein und klicken Sie dann auf Kalibrieren."},
    {"Calibrate", "\311talonner", "Calibrar", "Calibra", "Kalibrieren"},
}};

}  // namespace

int LanguageCode(LANGID language) {
    switch (language & 0x3FF) {
    case 0x0C: return 1211;
    case 0x0A: return 1212;
    case 0x10: return 1213;
    case 0x07: return 1214;
    default: return kEnglish;
    }
}

const char* Text(CalibratorText row, int languageCode) {
    int column = languageCode - kEnglish;
    if (column < 0 || column >= kLanguages) column = 0;
    return kRows[static_cast<size_t>(row)][static_cast<size_t>(column)];
}

int RunLanguageCode() {
    static const int code = LanguageCode(GetSystemDefaultLangID());
    return code;
}
