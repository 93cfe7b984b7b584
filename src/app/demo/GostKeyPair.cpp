#include "app/demo/GostKeyPair.h"

#include "core/Streams.h"
#include "gost/ZtCiferNew.h"

namespace brelo {

void MakeGostKeyPair(const std::string& Folder, const std::string& Login,
                     const SecureString& Password) {
    const std::string base = Folder + "/" + Login;
    TZtCifer cifer;
    cifer.GenerateKeyPair();
    TMemoryStream key;
    cifer.SavePrivateKeyToStream(key, Password);
    key.SaveToFile(base + ".KEY2");
    cifer.SavePublicKeyToFile(base + ".CER2");
}

}  // namespace brelo
