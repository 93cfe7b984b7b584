// The key container engine over the real provider: file formats (checked with gostprov alone),
// round trips, and the failure of every malformed input.
#include <gtest/gtest.h>
#include <openssl/bn.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>

#include "core/Crypto.h"
#include "core/Streams.h"
#include "gost/GostProv.h"
#include "gost/ZtCiferNew.h"

using namespace brelo;
using gosttest::Bytes;
using gosttest::GostProv;

namespace {

const char* const kPassword = "Секрет-1";
// The same password in Windows-1251, written out byte by byte.
const ByteString kPasswordCp1251 = "\xD1\xE5\xEA\xF0\xE5\xF2-1";

ByteString PrivateText(TZtCifer& c, std::string_view password = kPassword) {
    TMemoryStream s;
    c.SavePrivateKeyToStream(s, password);
    return s.Bytes();
}

ByteString PublicText(TZtCifer& c) {
    TMemoryStream s;
    c.SavePublicKeyToStream(s);
    return s.Bytes();
}

ByteString BlockBytes(const TCiferKeyBlock& b) {
    return ByteString(reinterpret_cast<const char*>(&b), sizeof b);
}

/// The failure key of a step, or "" when it does not fail with ECiferError.
std::string FailureOf(const std::function<void()>& step) {
    try {
        step();
    } catch (const ECiferError& e) {
        return e.Message();
    }
    return "";
}

/// A private key container made with gostprov alone: N, CFB with a zero IV, MAC of the plaintext.
ByteString ContainerByGostprov(GostProv& prov, const ByteString& plain,
                               const ByteString& passwordCp1251) {
    Bytes key = prov.Digest(Bytes(passwordCp1251.begin(), passwordCp1251.end()));
    Bytes p(plain.begin(), plain.end());
    Bytes cipher = prov.Cfb(key, Bytes(8), p, true);
    Bytes mac = prov.Mac8(key, p);
    ByteString out;
    for (int i = 0; i < 4; ++i) out.push_back(char(plain.size() >> (8 * i)));
    out.append(cipher.begin(), cipher.end());
    out.append(mac.begin(), mac.end());
    return out;
}

/// A number in the block's layout: little-endian bytes of a hexadecimal value.
TCiferNumber Number(const char* hex) {
    BIGNUM* v = nullptr;
    BN_hex2bn(&v, hex);
    TCiferNumber n{};
    n.Length = std::uint16_t(BN_num_bytes(v));
    BN_bn2lebinpad(v, n.Data, n.Length);
    BN_free(v);
    return n;
}

class GostEngine : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        First = std::make_unique<TZtCifer>();
        First->GenerateKeyPair();
        Second = std::make_unique<TZtCifer>();
        Second->GenerateKeyPair();
    }
    static void TearDownTestSuite() {
        First.reset();
        Second.reset();
    }
    void SetUp() override {
        Dir = std::filesystem::temp_directory_path() /
              ("gost-engine-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(Dir);
    }
    void TearDown() override { std::filesystem::remove_all(Dir); }

    static std::unique_ptr<TZtCifer> First, Second;
    std::filesystem::path Dir;
};

std::unique_ptr<TZtCifer> GostEngine::First, GostEngine::Second;

}  // namespace

TEST_F(GostEngine, GeneratedPairSurvivesItsFilesIntoAFreshObject) {
    const std::string keyFile = Dir / "user.key2", certFile = Dir / "user.cer2";
    {
        TFileStream out(keyFile, TFileStream::fmCreate);
        First->SavePrivateKeyToStream(out, kPassword);
    }
    First->SavePublicKeyToFile(certFile);
    EXPECT_EQ(ReadFileBytes(keyFile).size(), 712u);
    EXPECT_EQ(ReadFileBytes(certFile).size(), 696u);

    TZtCifer fresh;
    fresh.LoadPrivateKeyFromFile(keyFile, kPassword);
    fresh.LoadPublicKeyFromFile(certFile);
    EXPECT_EQ(BlockBytes(fresh.PrivateBlock()), BlockBytes(First->PrivateBlock()));
    EXPECT_EQ(BlockBytes(fresh.PublicBlock()), BlockBytes(First->PublicBlock()));
    EXPECT_EQ(fresh.GetPublicKeyBlock(), BlockBytes(First->PublicBlock()));
    EXPECT_EQ(std::memcmp(&fresh.PrivateBlock(), &fresh.PublicBlock(), TZtCifer::kParamsSize), 0);
    EXPECT_EQ(fresh.PublicBlock().P.Length, 128);  // 1024-bit p
    EXPECT_EQ(fresh.PublicBlock().Q.Length, 32);   // 256-bit q
    EXPECT_TRUE(fresh.CheckPrivateKey());
    EXPECT_TRUE(fresh.CheckPublicKey());
    EXPECT_NO_THROW(fresh.CheckKeyPair());
    EXPECT_EQ(fresh.GetProviderVersion(), "1.0.1");
}

TEST_F(GostEngine, AnyOtherPasswordIsRefusedAndTheHeldKeyStays) {
    const ByteString text = PrivateText(*First);
    TZtCifer c;
    c.LoadPrivateKeyFromString(PrivateText(*Second), kPassword);
    for (const char* wrong : {"", "секрет-1", "Секрет-1 ", "Секрет-2", "Sekret-1"}) {
        SCOPED_TRACE(wrong);
        EXPECT_EQ(FailureOf([&] { c.LoadPrivateKeyFromString(text, wrong); }), "PasswInvalid");
        EXPECT_TRUE(c.PrivateLoaded());
        EXPECT_EQ(BlockBytes(c.PrivateBlock()), BlockBytes(Second->PrivateBlock()));
    }
    TZtCifer empty;  // the empty password is a password like any other
    empty.LoadPrivateKeyFromString(PrivateText(*First, ""), "");
    EXPECT_EQ(BlockBytes(empty.PrivateBlock()), BlockBytes(First->PrivateBlock()));
}

TEST_F(GostEngine, PasswordsOutsideWindows1251AreRefusedNotReplaced) {
    EXPECT_THROW(PrivateText(*First, "ключ\u20ac\U0001F511"), EEncodingError);
    const ByteString text = PrivateText(*First);
    TZtCifer c;
    EXPECT_THROW(c.LoadPrivateKeyFromString(text, "ключ\U0001F511"), EEncodingError);
    EXPECT_FALSE(c.PrivateLoaded());
}

TEST_F(GostEngine, PrivateKeyFileIsReadableByGostprovAlone) {
    GostProv prov;
    ASSERT_TRUE(prov.Loaded()) << GostProv::kMissing;
    ByteString container;
    ASSERT_TRUE(Base64Decode(PrivateText(*First), container));
    ASSERT_EQ(container.size(), 532u);
    EXPECT_EQ(container.substr(0, 4), ByteString("\x08\x02\0\0", 4));
    Bytes key = prov.Digest(Bytes(kPasswordCp1251.begin(), kPasswordCp1251.end()));
    Bytes cipher(container.begin() + 4, container.begin() + 524);
    Bytes plain = prov.Cfb(key, Bytes(8), cipher, false);
    EXPECT_EQ(ByteString(plain.begin(), plain.end()), BlockBytes(First->PrivateBlock()));
    Bytes mac = prov.Mac8(key, plain);
    EXPECT_EQ(ByteString(mac.begin(), mac.end()), container.substr(524));
}

TEST_F(GostEngine, KeysOverTheStandards512BitSetLoadAndSign) {
    GostProv prov;
    ASSERT_TRUE(prov.Loaded()) << GostProv::kMissing;
    TCiferKeyBlock priv{}, pub{};
    priv.P = pub.P = Number(
        "EE8172AE8996608FB69359B89EB82A69854510E2977A4D63BC97322CE5DC3386"
        "EA0A12B343E9190F23177539845839786BB0C345D165976EF2195EC9B1C379E3");
    priv.Q = pub.Q = Number("98915E7EC8265EDFCDA31E88F24809DDB064BDC7285DD50D7289F0AC6F49DD2D");
    priv.A = pub.A = Number(
        "9E96031500C8774A869582D4AFDE2127AFAD2538B4B6270A6F7C8837B50D50F2"
        "06755984A49E509304D648BE2AB5AAB18EBE2CD46AC3D8495B142AA6CE23E21C");
    priv.Key = Number("3036314538303830343630454235324435324234314132373832433138443046");
    pub.Key = Number(
        "EE1902A40692D273EDC1B5ADC55F91128E35F9D165FA9901CAF00D27018BA6DF"
        "324519C11A6E272526589CD6E6A2EDDAAFE1C3081259BE9FCEE667A2701F4352");
    TZtCifer c;
    c.LoadPrivateKeyFromString(
        Base64Encode(ContainerByGostprov(prov, BlockBytes(priv), kPasswordCp1251)), kPassword);
    c.LoadPublicKeyFromString(Base64Encode(BlockBytes(pub)));
    EXPECT_TRUE(c.CheckPrivateKey());
    EXPECT_TRUE(c.CheckPublicKey());
    EXPECT_NO_THROW(c.CheckKeyPair());

    // A container whose MAC is right but which holds less than a key block.
    const ByteString shortText =
        Base64Encode(ContainerByGostprov(prov, ByteString(100, 'x'), kPasswordCp1251));
    EXPECT_EQ(FailureOf([&] { c.LoadPrivateKeyFromString(shortText, kPassword); }),
              "PrivKeyInvalid");
}

TEST_F(GostEngine, MalformedKeyTextsFailWithTheirKey) {
    const ByteString priv = PrivateText(*First), pub = PublicText(*First);
    ByteString container;
    ASSERT_TRUE(Base64Decode(priv, container));
    ByteString badChar = priv;
    badChar[10] = '*';
    TCiferKeyBlock longNumber = First->PublicBlock();
    longNumber.A.Length = 129;
    TCiferKeyBlock outsideGroup = First->PublicBlock();
    outsideGroup.Key.Data[0] ^= 1;
    struct Case {
        const char* name;
        bool isPrivate;
        ByteString text;
        const char* key;
    };
    const Case cases[] = {
        {"private 711 characters", true, priv.substr(0, 711), "Base64"},
        {"private 713 characters", true, priv + "A", "Base64"},
        {"private character outside the alphabet", true, badChar, "Base64"},
        {"private ends inside the block", true, Base64Encode(container.substr(0, 300)),
         "PasswInvalid"},
        {"private without its MAC", true, Base64Encode(container.substr(0, 524)), "PasswInvalid"},
        {"private MAC cut short", true, Base64Encode(container.substr(0, 530)), "PasswInvalid"},
        {"private shorter than its length word", true, Base64Encode("\x08\x02"), "PasswInvalid"},
        {"private empty", true, "", "PasswInvalid"},
        {"public 519 characters", false, pub.substr(0, 519), "PubKeyInvalid"},
        {"public 520 characters, too few bytes", false, pub.substr(0, 520), "PubKeyInvalid"},
        {"public 697 characters", false, pub + "A", "Base64"},
        {"public number longer than its field", false, Base64Encode(BlockBytes(longNumber)),
         "PubKeyInvalid"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TZtCifer cifer;
        if (c.isPrivate) {
            EXPECT_EQ(FailureOf([&] { cifer.LoadPrivateKeyFromString(c.text, kPassword); }), c.key);
            EXPECT_FALSE(cifer.PrivateLoaded());
        } else {
            EXPECT_EQ(FailureOf([&] { cifer.LoadPublicKeyFromString(c.text); }), c.key);
            EXPECT_FALSE(cifer.PublicLoaded());
        }
    }
    TZtCifer cifer;
    cifer.LoadPublicKeyFromString(Base64Encode(BlockBytes(outsideGroup)));
    EXPECT_EQ(FailureOf([&] { cifer.CheckPublicKey(); }), "PubKeyInvalid");
    cifer.LoadPublicKeyFromString(pub);  // a failed load never sticks
    EXPECT_TRUE(cifer.CheckPublicKey());
    EXPECT_EQ(FailureOf([&] { cifer.CheckPrivateKey(); }), "PrivKeyInvalid");
}

TEST_F(GostEngine, SignaturesVerifyOnlyForTheirMessageAndKey) {
    TZtCifer cert, otherCert;
    cert.LoadPublicKeyFromString(PublicText(*First));
    otherCert.LoadPublicKeyFromString(PublicText(*Second));
    const ByteString msg = "платёжное поручение 1";
    ByteString b64, raw;
    First->SignString(msg, true, b64);
    First->SignString(msg, false, raw);
    EXPECT_EQ(b64.size(), 88u);
    EXPECT_EQ(raw.size(), 64u);
    EXPECT_TRUE(cert.VerifyString(msg, b64, true));
    EXPECT_TRUE(cert.VerifyString(msg, raw, false));

    ByteString flipped = raw;
    flipped[5] ^= 0x20;
    const std::pair<const char*, std::function<void()>> failing[] = {
        {"other message", [&] { cert.VerifyString(msg + ".", b64, true); }},
        {"changed signature", [&] { cert.VerifyString(msg, flipped, false); }},
        {"other key", [&] { otherCert.VerifyString(msg, b64, true); }},
        {"Base64 of 87 characters", [&] { cert.VerifyString(msg, b64.substr(1), true); }},
        {"63 bytes", [&] { cert.VerifyString(msg, raw.substr(1), false); }},
        {"65 bytes", [&] { cert.VerifyString(msg, raw + "x", false); }},
        {"Base64 of 63 bytes", [&] { cert.VerifyString(msg, Base64Encode(raw.substr(1)), true); }},
        {"Base64 of 65 bytes", [&] { cert.VerifyString(msg, Base64Encode(raw + "x"), true); }},
        {"empty", [&] { cert.VerifyString(msg, "", true); }},
    };
    for (const auto& [name, step] : failing) {
        SCOPED_TRACE(name);
        EXPECT_EQ(FailureOf(step), "SignInvalid");
    }
}

TEST_F(GostEngine, KeyPairChecksNeedBothHalvesOfOnePair) {
    TZtCifer mixed;
    mixed.LoadPrivateKeyFromString(PrivateText(*First), kPassword);
    mixed.LoadPublicKeyFromString(PublicText(*Second));
    EXPECT_EQ(FailureOf([&] { mixed.CheckKeyPair(); }), "KeyAndCertNotPair");

    TZtCifer publicOnly, privateOnly;
    publicOnly.LoadPublicKeyFromString(PublicText(*First));
    privateOnly.LoadPrivateKeyFromString(PrivateText(*First), kPassword);
    EXPECT_EQ(FailureOf([&] { publicOnly.CheckKeyPair(); }), "PrivNotLoad");
    // A failing verification of any kind reads as "not a pair".
    EXPECT_EQ(FailureOf([&] { privateOnly.CheckKeyPair(); }), "KeyAndCertNotPair");
    TMemoryStream out;
    EXPECT_EQ(FailureOf([&] { privateOnly.SavePublicKeyToStream(out); }), "PubNotLoad");
    EXPECT_EQ(FailureOf([&] { TZtCifer().SavePublicKeyToFile((Dir / "x.cer2").string()); }),
              "PubNotLoad");
    EXPECT_FALSE(std::filesystem::exists(Dir / "x.cer2"));
    ByteString sig;
    EXPECT_EQ(FailureOf([&] { publicOnly.SignString("dummy", true, sig); }), "PrivNotLoad");
}

TEST_F(GostEngine, SavingOverALongerStreamLeavesNoOldBytes) {
    TMemoryStream s(ByteString(2000, 'Z'));
    First->SavePrivateKeyToStream(s, kPassword);
    EXPECT_EQ(s.Size(), 712);
    TZtCifer c;
    c.LoadPrivateKeyFromStream(s, kPassword);
    EXPECT_EQ(BlockBytes(c.PrivateBlock()), BlockBytes(First->PrivateBlock()));
}

TEST_F(GostEngine, MissingFilesFailInTheFileLayer) {
    TZtCifer c;
    EXPECT_THROW(c.LoadPrivateKeyFromFile((Dir / "absent.key2").string(), kPassword), EFOpenError);
    EXPECT_THROW(c.LoadPublicKeyFromFile((Dir / "absent.cer2").string()), EFOpenError);
}

// Files made by an earlier build: a later build that cannot open them breaks stored keys.
TEST(GostEngineFixedFiles, KeyFilesMadeEarlierStillOpenAndVerify) {
    const std::string dir = GOST_TEST_DATA;
    TZtCifer c;
    c.LoadPrivateKeyFromFile(dir + "/fixed.key2", "Пароль-1");
    c.LoadPublicKeyFromFile(dir + "/fixed.cer2");
    EXPECT_NO_THROW(c.CheckKeyPair());
    EXPECT_TRUE(c.VerifyString("dummy", ReadFileBytes(dir + "/fixed-dummy.sig"), true));
    EXPECT_EQ(FailureOf([&] { c.LoadPrivateKeyFromFile(dir + "/fixed.key2", "пароль-1"); }),
              "PasswInvalid");
}
