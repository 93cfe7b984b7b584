// The customer's page-one proof with a 2048-bit key (read the key file, decrypt it, check it
// against the certificate), and signing and verifying, each through the OpenSSL functions of
// the system and the same work in raw OpenSSL calls; the ratios are printed at the end.

#include <cstring>
#include <map>
#include <string>

#include <benchmark/benchmark.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include "core/Streams.h"
#include "openssl/OpenSSLCryptoFunc.h"

namespace {

using namespace brelo;

struct TFixture {
    std::string KeyText, CertText, Data = std::string(4096, 'd');
    SecureString Password{"Пароль 2048"};
    EvpPKeyPtr Key;
    X509Ptr Cert;
    std::string Signature;

    TFixture() {
        Key = SslGenerateRSAKey(2048);
        BioPtr out(BIO_new(BIO_s_mem()));
        PEM_write_bio_PrivateKey_traditional(out.get(), Key.get(), EVP_des_ede3_cbc(),
                                             reinterpret_cast<unsigned char*>(Password.data()),
                                             static_cast<int>(Password.size()), nullptr, nullptr);
        KeyText = Drain(out.get());
        X509NamePtr name = SslNewName();
        SslAddNameEntry(name.get(), "CN", "USER01");
        X509ReqPtr request = SslMakeRequest(Key.get(), name.get(), "");
        Cert = SslMakeCertificate(request.get(), 1, 365, "", Key.get(), nullptr);
        PEM_write_bio_X509(out.get(), Cert.get());
        CertText = Drain(out.get());
        int length = SslKeySize(Key.get());
        Signature.resize(static_cast<std::size_t>(length));
        SslSignData(Key.get(), "md5", Data.data(), length, Signature.data(), static_cast<std::int64_t>(Data.size()));
    }
    static std::string Drain(BIO* bio) {
        char* data = nullptr;
        const long length = BIO_get_mem_data(bio, &data);
        std::string text(data, static_cast<std::size_t>(length));
        BIO_reset(bio);
        return text;
    }
};

TFixture& Fixture() {
    static TFixture fixture;
    return fixture;
}

int PasswordCallback(char* buffer, int size, int, void* user) {
    const auto* password = static_cast<const SecureString*>(user);
    const int n = std::min(size, static_cast<int>(password->size()));
    std::memcpy(buffer, password->data(), static_cast<std::size_t>(n));
    return n;
}

void PageOneLayer(benchmark::State& state) {
    TFixture& f = Fixture();
    for (auto _ : state) {
        TMemoryStream keyFile(f.KeyText), certFile(f.CertText);
        EvpPKeyPtr key = SslReadPrivateKey(keyFile, f.Password);
        X509Ptr cert = SslReadCert(certFile);
        benchmark::DoNotOptimize(SslKeyMatchesCert(cert.get(), key.get()));
    }
}

void PageOneRaw(benchmark::State& state) {
    TFixture& f = Fixture();
    for (auto _ : state) {
        BioPtr keyBio(BIO_new_mem_buf(f.KeyText.data(), static_cast<int>(f.KeyText.size())));
        EvpPKeyPtr key(PEM_read_bio_PrivateKey(keyBio.get(), nullptr, PasswordCallback, &f.Password));
        BioPtr certBio(BIO_new_mem_buf(f.CertText.data(), static_cast<int>(f.CertText.size())));
        X509Ptr cert(PEM_read_bio_X509(certBio.get(), nullptr, nullptr, nullptr));
        benchmark::DoNotOptimize(X509_check_private_key(cert.get(), key.get()));
    }
}

void SignLayer(benchmark::State& state) {
    TFixture& f = Fixture();
    std::string signature(256, '\0');
    for (auto _ : state) {
        int length = 256;
        SslSignData(f.Key.get(), "md5", f.Data.data(), length, signature.data(), static_cast<std::int64_t>(f.Data.size()));
        benchmark::DoNotOptimize(length);
    }
}

void SignRaw(benchmark::State& state) {
    TFixture& f = Fixture();
    unsigned char signature[256];
    for (auto _ : state) {
        EvpMdCtxPtr context(EVP_MD_CTX_new());
        EVP_SignInit_ex(context.get(), EVP_get_digestbyname("md5"), nullptr);
        EVP_SignUpdate(context.get(), f.Data.data(), f.Data.size());
        unsigned int length = 0;
        benchmark::DoNotOptimize(EVP_SignFinal(context.get(), signature, &length, f.Key.get()));
    }
}

void VerifyLayer(benchmark::State& state) {
    TFixture& f = Fixture();
    for (auto _ : state) {
        benchmark::DoNotOptimize(SslVerifyData(f.Key.get(), "md5", f.Data.data(), static_cast<std::int64_t>(f.Data.size()),
                                               f.Signature.data(), static_cast<int>(f.Signature.size())));
    }
}

void VerifyRaw(benchmark::State& state) {
    TFixture& f = Fixture();
    for (auto _ : state) {
        EvpMdCtxPtr context(EVP_MD_CTX_new());
        EVP_VerifyInit_ex(context.get(), EVP_get_digestbyname("md5"), nullptr);
        EVP_VerifyUpdate(context.get(), f.Data.data(), f.Data.size());
        benchmark::DoNotOptimize(EVP_VerifyFinal(context.get(), reinterpret_cast<const unsigned char*>(f.Signature.data()),
                                                 static_cast<unsigned int>(f.Signature.size()), f.Key.get()));
    }
}

BENCHMARK(PageOneLayer)->Unit(benchmark::kMicrosecond);
BENCHMARK(PageOneRaw)->Unit(benchmark::kMicrosecond);
BENCHMARK(SignLayer)->Unit(benchmark::kMicrosecond);
BENCHMARK(SignRaw)->Unit(benchmark::kMicrosecond);
BENCHMARK(VerifyLayer)->Unit(benchmark::kMicrosecond);
BENCHMARK(VerifyRaw)->Unit(benchmark::kMicrosecond);

/// Console output plus the CPU time per iteration of every run, for the ratios.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
                Times[run.run_name.function_name] = run.GetAdjustedCPUTime();
            }
        }
    }
    std::map<std::string, double> Times;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Fixture();
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const char* topic : {"PageOne", "Sign", "Verify"}) {
        const auto layer = reporter.Times.find(std::string(topic) + "Layer");
        const auto raw = reporter.Times.find(std::string(topic) + "Raw");
        if (layer != reporter.Times.end() && raw != reporter.Times.end() && raw->second > 0) {
            std::printf("%-8s layer/raw = %.3f (overhead %+.1f%%)\n", topic, layer->second / raw->second,
                        (layer->second / raw->second - 1) * 100);
        }
    }
    benchmark::Shutdown();
    return 0;
}
