// GOST R 34.10-94: the standard's example, parameter generation procedures, the published
// CryptoPro-A certificate, and signing through the entry points checked by the equations here.
#include <gtest/gtest.h>

#include <algorithm>

#include "Gost3410.h"
#include "GostParams.h"
#include "gost/GostProv.h"
#include "gostcsp.h"

using namespace gosttest;
using namespace gostcsp;

namespace {

BnPtr Num(const char* hex) {
    BIGNUM* v = nullptr;
    BN_hex2bn(&v, hex);
    return BnPtr(v);
}

std::string Hex(const BIGNUM* v) {
    char* s = BN_bn2hex(v);
    std::string out(s);
    OPENSSL_free(s);
    return out;
}

const char* kTestP =
    "EE8172AE8996608FB69359B89EB82A69854510E2977A4D63BC97322CE5DC3386"
    "EA0A12B343E9190F23177539845839786BB0C345D165976EF2195EC9B1C379E3";
const char* kTestQ = "98915E7EC8265EDFCDA31E88F24809DDB064BDC7285DD50D7289F0AC6F49DD2D";
const char* kTestA =
    "9E96031500C8774A869582D4AFDE2127AFAD2538B4B6270A6F7C8837B50D50F2"
    "06755984A49E509304D648BE2AB5AAB18EBE2CD46AC3D8495B142AA6CE23E21C";
const char* kTestX = "3036314538303830343630454235324435324234314132373832433138443046";
const char* kTestY =
    "EE1902A40692D273EDC1B5ADC55F91128E35F9D165FA9901CAF00D27018BA6DF"
    "324519C11A6E272526589CD6E6A2EDDAAFE1C3081259BE9FCEE667A2701F4352";

const char* kProP =
    "B4E25EFB018E3C8B87505E2A67553C5EDC56C2914B7E4F89D23F03F03377E70A"
    "2903489DD60E78418D3D851EDB5317C4871E40B04228C3B7902963C4B7D85D52"
    "B9AA88F2AFDBEB28DA8869D6DF846A1D98924E925561BD69300B9DDD05D247B5"
    "922D967CBB02671881C57D10E5EF72D3E6DAD4223DC82AA1F7D0294651A480DF";
const char* kProQ = "972432A437178B30BD96195B773789AB2FFF15594B176DD175B63256EE5AF2CF";
const char* kProA =
    "8FD36731237654BBE41F5F1F8453E71CA414FFC22C25D915309E5D2E62A2A26C"
    "7111F3FC79568DAFA028042FE1A52A0489805C0DE9A1A469C844C7CABBEE625C"
    "3078888C1D85EEA883F1AD5BC4E6776E8E1A0750912DF64F79956499F1E18247"
    "5B0B60E2632ADCD8CF94E9C54FD1F3B109D81F00BF2AB8CB862ADF7D40B9369A";

Gost3410Params Params(const char* p, const char* q, const char* a) {
    return {Num(p), Num(q), Num(a)};
}

// The verification equations, written out independently of the provider.
bool IndependentVerify(const BIGNUM* p, const BIGNUM* q, const BIGNUM* a, const BIGNUM* y,
                       const Bytes& digest, const BIGNUM* r, const BIGNUM* s) {
    BnCtxPtr ctx(BN_CTX_new());
    if (BN_is_zero(r) || BN_is_zero(s) || BN_cmp(r, q) >= 0 || BN_cmp(s, q) >= 0)
        return false;
    BnPtr h(BN_lebin2bn(digest.data(), int(digest.size()), nullptr));
    BN_mod(h.get(), h.get(), q, ctx.get());
    if (BN_is_zero(h.get()))
        BN_one(h.get());
    BnPtr qm2(BN_dup(q)), v(BN_new()), z1(BN_new()), z2(BN_new()), qr(BN_new()), t1(BN_new()),
        t2(BN_new()), u(BN_new());
    BN_sub_word(qm2.get(), 2);
    BN_mod_exp(v.get(), h.get(), qm2.get(), q, ctx.get());
    BN_mod_mul(z1.get(), s, v.get(), q, ctx.get());
    BN_sub(qr.get(), q, r);
    BN_mod_mul(z2.get(), qr.get(), v.get(), q, ctx.get());
    BN_mod_exp(t1.get(), a, z1.get(), p, ctx.get());
    BN_mod_exp(t2.get(), y, z2.get(), p, ctx.get());
    BN_mod_mul(u.get(), t1.get(), t2.get(), p, ctx.get());
    BN_mod(u.get(), u.get(), q, ctx.get());
    return BN_cmp(u.get(), r) == 0;
}

}  // namespace

TEST(Gost3410, StandardExampleSignsToThePublishedValues) {
    Gost3410Params prm = Params(kTestP, kTestQ, kTestA);
    BnPtr x = Num(kTestX);
    EXPECT_EQ(Hex(Gost3410PublicFromPrivate(prm, x.get()).get()), kTestY);
    BnPtr h = Num("3534454132454236443134453437313943363345374143423445413631454230");
    BnPtr k = Num("90F3A564439242F5186EBB224C8E223811B7105C64E4F5390807E6362DF4C72A");
    Gost3410Signature sig = Gost3410Sign(prm, x.get(), h.get(), k.get());
    EXPECT_EQ(Hex(sig.r.get()), "3E5F895E276D81D2D52C0763270A458157B784C57ABDBD807BC44FD43A32AC06");
    EXPECT_EQ(Hex(sig.s.get()), "3F0DD5D4400D47C08E4CE505FF7434B6DBF729592E37C74856DAB85115A60955");
    BnPtr y = Num(kTestY);
    EXPECT_TRUE(Gost3410Verify(prm, y.get(), h.get(), sig.r.get(), sig.s.get()));
}

TEST(Gost3410, PublishedCryptoProCertificateVerifies) {
    Gost3410Params prm = Params(kProP, kProQ, kProA);
    const Bytes digest =
        FromHex("3940f0fa3ca5507761e3dff6e2835d005b7066174af79b1f0cbd6265fa80f545");
    std::array<std::uint8_t, 32> d{};
    std::copy(digest.begin(), digest.end(), d.begin());
    BnPtr h = Gost3410HashValue(d, prm.q.get());
    EXPECT_EQ(Hex(h.get()), "45F580FA6562BD0C1F9BF74A1766705B005D83E2F6DFE3617750A53CFAF04039");
    BnPtr y =
        Num("7BFA7632329381458B2AA81AB7B6C2B5C1783E2C080DACD6919C7C3EE38D131090B60FA6775CD36882098A"
            "89E5F41B75"
            "CC872509F612631BFEA8C18B945C323966BFA82B113B2B4D420C1F0E248A100DE284263742B5396C93F3B2"
            "B7BE5547FB"
            "C6984677270B306F472125548CFE57716619A8137F802CD8345B9E79E16684BB");
    BnPtr r = Num("22F785F355BD94EC46919C67AC58D7052AA78CB7852A017585F7D73803FBCD43");
    BnPtr s = Num("11C7087E12DC02F102232947768F472A818350E307CCF2E431238942C873E1DE");
    EXPECT_TRUE(Gost3410Verify(prm, y.get(), h.get(), r.get(), s.get()));
    BN_add_word(s.get(), 1);
    EXPECT_FALSE(Gost3410Verify(prm, y.get(), h.get(), r.get(), s.get()));
}

TEST(Gost3410, ProceduresReproduceThePublishedParameterSets) {
    GostSequence a16(16, 0x5EC9, 0x7341);
    GostPrimePair test = GostProcedureA(512, a16);
    EXPECT_EQ(Hex(test.p.get()), kTestP);
    EXPECT_EQ(Hex(test.q.get()), kTestQ);
    BnPtr two = BnWord(2);
    EXPECT_EQ(Hex(GostProcedureC(test.p.get(), test.q.get(), two.get()).get()), kTestA);

    GostSequence b32(32, 0x520874F5, 0xEE39ADB3);
    GostPrimePair pro = GostProcedureB(b32);
    EXPECT_EQ(Hex(pro.p.get()), kProP);
    EXPECT_EQ(Hex(pro.q.get()), kProQ);
}

TEST(Gost3410, ParameterAndKeyChecks) {
    EXPECT_TRUE(Gost3410ParamsValid(Num(kTestP).get(), Num(kTestQ).get(), Num(kTestA).get()));
    EXPECT_TRUE(Gost3410ParamsValid(Num(kProP).get(), Num(kProQ).get(), Num(kProA).get()));
    BnPtr p2 = Num(kProP);
    BN_add_word(p2.get(), 2);
    EXPECT_FALSE(Gost3410ParamsValid(p2.get(), Num(kProQ).get(),
                                     Num(kProA).get()));  // q no longer divides p-1
    EXPECT_FALSE(
        Gost3410ParamsValid(Num(kProP).get(), Num(kProQ).get(), BnWord(2).get()));  // 2^q != 1
    EXPECT_FALSE(Gost3410ParamsValid(Num(kProP).get(), Num(kTestQ).get(), Num(kProA).get()));
    EXPECT_FALSE(Gost3410ParamsValid(Num(kProP).get(), Num(kProQ).get(), BnWord(1).get()));

    Gost3410Params prm = Params(kTestP, kTestQ, kTestA);
    EXPECT_FALSE(Gost3410PrivateValid(prm, BnWord(0).get()));
    EXPECT_FALSE(Gost3410PrivateValid(prm, prm.q.get()));
    EXPECT_TRUE(Gost3410PrivateValid(prm, BnWord(1).get()));
    EXPECT_TRUE(Gost3410PublicValid(prm, Num(kTestY).get()));
    EXPECT_FALSE(Gost3410PublicValid(prm, BnWord(1).get()));
    EXPECT_FALSE(Gost3410PublicValid(prm, BnWord(2).get()));  // outside the subgroup of order q
}

namespace {

// A signature context with parameters and a key pair made by the provider.
struct ProviderKey {
    CSP_HANDLE ctx = 0;
    std::uint8_t p[128], q[128], a[128], x[128], y[128];
    uint32_t pl = 128, ql = 128, al = 128, xl = 128, yl = 128;

    void Generate() {
        ASSERT_EQ(CSPG3410CreateCtx(&ctx), CSP_OK);
        ASSERT_EQ(CSPG3410SetDefaultByteOrder(ctx, 0), CSP_OK);
        ASSERT_EQ(CSPG3410GenerateParameters(ctx, 512), CSP_OK);
        ASSERT_EQ(CSPG3410GenerateXY(ctx), CSP_OK);
        ASSERT_EQ(CSPG3410GetKeyP(ctx, p, &pl), CSP_OK);
        ASSERT_EQ(CSPG3410GetKeyQ(ctx, q, &ql), CSP_OK);
        ASSERT_EQ(CSPG3410GetKeyA(ctx, a, &al), CSP_OK);
        ASSERT_EQ(CSPG3410GetKeyX(ctx, x, &xl), CSP_OK);
        ASSERT_EQ(CSPG3410GetKeyY(ctx, y, &yl), CSP_OK);
    }
    ~ProviderKey() {
        if (ctx)
            CSPG3410DestroyCtx(ctx);
    }
    BnPtr Le(const std::uint8_t* b, uint32_t n) const {
        return BnPtr(BN_lebin2bn(b, int(n), nullptr));
    }
};

CSP_HANDLE HashOf(const Bytes& msg) {
    CSP_HANDLE h = 0;
    EXPECT_EQ(CSPG3411CreateCtx(&h, 0), CSP_OK);
    EXPECT_EQ(CSPG3411Update(h, msg.data(), uint32_t(msg.size())), CSP_OK);
    uint32_t len = 32;
    EXPECT_EQ(CSPG3411Final(h, nullptr, &len), CSP_OK);
    return h;
}

int32_t VerifyWith(const ProviderKey& key, const std::uint8_t* y, uint32_t yl, const Bytes& msg,
                   const Bytes& sig) {
    CSP_HANDLE ctx = 0, h = HashOf(msg);
    EXPECT_EQ(CSPG3410CreateCtx(&ctx), CSP_OK);
    EXPECT_EQ(CSPG3410SetParameters(ctx, key.p, key.pl, key.q, key.ql, key.a, key.al), CSP_OK);
    int32_t status = CSPG3410SetKeyY(ctx, y, yl);
    if (status == CSP_OK)
        status = CSPG3410VerifySign(ctx, h, sig.data());
    CSPG3411DestroyCtx(h);
    CSPG3410DestroyCtx(ctx);
    return status;
}

}  // namespace

TEST(Gost3410, GeneratedKeysSignAndTheEquationsHold) {
    ProviderKey key, other;
    key.Generate();
    other.Generate();
    EXPECT_EQ(BN_num_bits(key.Le(key.p, key.pl).get()), 1024);
    EXPECT_EQ(BN_num_bits(key.Le(key.q, key.ql).get()), 256);
    EXPECT_TRUE(Gost3410ParamsValid(key.Le(key.p, key.pl).get(), key.Le(key.q, key.ql).get(),
                                    key.Le(key.a, key.al).get()));

    GostProv prov;
    ASSERT_TRUE(prov.Loaded()) << GostProv::kMissing;
    const Bytes msg = Ascii("dummy");
    CSP_HANDLE h = HashOf(msg);
    Bytes sig(64);
    ASSERT_EQ(CSPG3410Sign(key.ctx, h, sig.data(), 0), CSP_OK);
    CSPG3411DestroyCtx(h);

    // r then s, 32 bytes each, least significant byte first; the hash comes from gostprov.
    BnPtr r(BN_lebin2bn(sig.data(), 32, nullptr)), s(BN_lebin2bn(sig.data() + 32, 32, nullptr));
    EXPECT_TRUE(IndependentVerify(key.Le(key.p, key.pl).get(), key.Le(key.q, key.ql).get(),
                                  key.Le(key.a, key.al).get(), key.Le(key.y, key.yl).get(),
                                  prov.Digest(msg), r.get(), s.get()));

    EXPECT_EQ(VerifyWith(key, key.y, key.yl, msg, sig), CSP_OK);
    EXPECT_EQ(VerifyWith(key, key.y, key.yl, Ascii("dummz"), sig), CSP_E_SIGNATURE_MISMATCH);
    Bytes changed = sig;
    changed[40] ^= 0x01;
    EXPECT_EQ(VerifyWith(key, key.y, key.yl, msg, changed), CSP_E_SIGNATURE_MISMATCH);
    Bytes zero(64);
    EXPECT_EQ(VerifyWith(key, key.y, key.yl, msg, zero), CSP_E_SIGNATURE_MISMATCH);
    // Another key: the other pair's y is not even in this group.
    EXPECT_NE(VerifyWith(key, other.y, other.yl, msg, sig), CSP_OK);
    // Another key of the same group.
    ASSERT_EQ(CSPG3410GenerateXY(key.ctx), CSP_OK);
    std::uint8_t y2[128];
    uint32_t y2l = 128;
    ASSERT_EQ(CSPG3410GetKeyY(key.ctx, y2, &y2l), CSP_OK);
    EXPECT_EQ(VerifyWith(key, y2, y2l, msg, sig), CSP_E_SIGNATURE_MISMATCH);
}

TEST(Gost3410, EntryPointsLoadA512BitSetAndCheckWhatTheyAreGiven) {
    auto le = [](const char* hex) {
        BnPtr v = Num(hex);
        Bytes b(std::size_t(BN_num_bytes(v.get())));
        BN_bn2lebinpad(v.get(), b.data(), int(b.size()));
        return b;
    };
    Bytes p = le(kTestP), q = le(kTestQ), a = le(kTestA), x = le(kTestX), y = le(kTestY);
    CSP_HANDLE ctx = 0;
    ASSERT_EQ(CSPG3410CreateCtx(&ctx), CSP_OK);
    EXPECT_EQ(CSPG3410SetKeyX(ctx, x.data(), uint32_t(x.size())),
              CSP_E_STATE);  // no parameters yet
    EXPECT_EQ(CSPG3410SetParameters(ctx, p.data(), uint32_t(p.size()), q.data(), uint32_t(q.size()),
                                    q.data(), uint32_t(q.size())),
              CSP_E_BAD_PARAMETERS);
    EXPECT_EQ(CSPG3410SetParameters(ctx, p.data(), 129, q.data(), uint32_t(q.size()), a.data(),
                                    uint32_t(a.size())),
              CSP_E_BAD_ARGUMENT);
    ASSERT_EQ(CSPG3410SetParameters(ctx, p.data(), uint32_t(p.size()), q.data(), uint32_t(q.size()),
                                    a.data(), uint32_t(a.size())),
              CSP_OK);
    EXPECT_EQ(CSPG3410SetKeyX(ctx, q.data(), uint32_t(q.size())), CSP_E_BAD_KEY);  // x = q
    EXPECT_EQ(CSPG3410SetKeyY(ctx, a.data(), 1), CSP_E_BAD_KEY);
    ASSERT_EQ(CSPG3410SetKeyX(ctx, x.data(), uint32_t(x.size())), CSP_OK);
    ASSERT_EQ(CSPG3410SetKeyY(ctx, y.data(), uint32_t(y.size())), CSP_OK);

    CSP_HANDLE h = HashOf(Ascii("abc"));
    Bytes sig(64);
    ASSERT_EQ(CSPG3410Sign(ctx, h, sig.data(), 0), CSP_OK);
    EXPECT_EQ(CSPG3410VerifySign(ctx, h, sig.data()), CSP_OK);
    EXPECT_EQ(CSPG3410Sign(ctx, ctx, sig.data(), 0),
              CSP_E_BAD_HANDLE);  // a signature handle is no hash
    EXPECT_EQ(CSPG3410Sign(ctx, h, sig.data(), 1), CSP_E_BAD_ARGUMENT);

    // The other byte order gives the same numbers reversed.
    std::uint8_t buf[128];
    uint32_t len = 128;
    ASSERT_EQ(CSPG3410SetDefaultByteOrder(ctx, CSP_BYTE_ORDER_BIG), CSP_OK);
    ASSERT_EQ(CSPG3410GetKeyQ(ctx, buf, &len), CSP_OK);
    Bytes big(buf, buf + len);
    std::reverse(big.begin(), big.end());
    EXPECT_EQ(big, q);
    len = 31;
    EXPECT_EQ(CSPG3410GetKeyQ(ctx, buf, &len), CSP_E_BUFFER_TOO_SMALL);
    EXPECT_EQ(len, 32u);
    EXPECT_EQ(CSPG3410SetDefaultByteOrder(ctx, 2), CSP_E_BAD_ARGUMENT);
    EXPECT_EQ(CSPG3410GenerateParameters(ctx, 768), CSP_E_BAD_ARGUMENT);

    CSPG3411DestroyCtx(h);
    EXPECT_EQ(CSPG3410DestroyCtx(ctx), CSP_OK);
}
