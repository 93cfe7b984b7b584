// The eight vendor libraries: file name, the manufacturer-ID fragments each serves, kind.
#include "token/nkiPKCSAPI.h"

namespace brelo {

#define BRELO_PKCS_VENDOR_BODY(Class, File, Kind, ...)                   \
    std::string Class::LibraryName() const { return File; }              \
    void Class::FillManufacturers() { FManufacturers = {__VA_ARGS__}; }   \
    std::uint8_t Class::LibraryKind() const { return Kind; }

BRELO_PKCS_VENDOR_BODY(TnkiAuthorPKCS, "Av337CryptokiD.dll", 2, "AVTOR", "AUTHOR")
BRELO_PKCS_VENDOR_BODY(TnkiSafeNet, "eToken.dll", 3, "SafeNet", "Aladdin")
BRELO_PKCS_VENDOR_BODY(TnkiSafeSIGN, "aetpkss1.dll", 4, "A.E.T.", "StarSign")
BRELO_PKCS_VENDOR_BODY(TnkiJaCarta, "jcPKCS11ua.dll", 5, "JaCarta", "ARDS")
BRELO_PKCS_VENDOR_BODY(TnkiRsaPKCS, "pkcs11.dll", 6, "RSA")
BRELO_PKCS_VENDOR_BODY(TnkiVascoPKCS, "VdsPKCS1132.dll", 7, "Oberthur", "Vasco")
BRELO_PKCS_VENDOR_BODY(TnkiAvestPKCS, "avcryptokinxt.dll", 8, "AvestUA", "Avest")
BRELO_PKCS_VENDOR_BODY(TnkiGemaltoPKCS, "gtop11dotnet.dll", 9, "Gemalto")

SecureString TnkiGemaltoPKCS::PadAdminPin(const SecureString& Pin) {
    SecureString padded = Pin;
    if (padded.size() < 24) {
        padded.resize(24, '\0');
    }
    return padded;
}

}  // namespace brelo
