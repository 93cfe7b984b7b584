// The customer's page-one proof with a 2048-bit key (read the key file, decrypt it, check it
// against the certificate), and signing and verifying, each through the OpenSSL functions of
// the system and the same work in raw OpenSSL calls; the ratios are printed at the end.

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>

#include <benchmark/benchmark.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include "core/Streams.h"
#include "cryptoman/CryptoMan.h"
#include "openssl/OpenSSLCryptoFormat.h"
#include "openssl/OpenSSLCryptoFunc.h"

namespace {

using namespace brelo;

struct TFixture {
    std::string KeyText, CertText, Data = std::string(4096, 'd');
    SecureString Password{"Пароль 2048"};          // as the customer types it
    SecureString Phrase = OpenSSLPassPhrase(Password);  // its Windows-1251 bytes
    EvpPKeyPtr Key;
    X509Ptr Cert;
    std::string Signature;

    TFixture() {
        Key = SslGenerateRSAKey(2048);
        BioPtr out(BIO_new(BIO_s_mem()));
        PEM_write_bio_PrivateKey_traditional(out.get(), Key.get(), EVP_des_ede3_cbc(),
                                             reinterpret_cast<unsigned char*>(Phrase.data()),
                                             static_cast<int>(Phrase.size()), nullptr, nullptr);
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
        Folder = (std::filesystem::temp_directory_path() / ("brelo-bench-" + std::to_string(getpid()))).string();
        std::filesystem::create_directories(Folder);
        std::ofstream(Folder + "/USER01.KEY", std::ios::binary) << KeyText;
        std::ofstream(Folder + "/USER01.CER", std::ios::binary) << CertText;
    }
    ~TFixture() {
        std::error_code ignored;
        std::filesystem::remove_all(Folder, ignored);
    }
    std::string Folder;
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
        EvpPKeyPtr key = SslReadPrivateKey(keyFile, f.Phrase);
        X509Ptr cert = SslReadCert(certFile);
        benchmark::DoNotOptimize(SslKeyMatchesCert(cert.get(), key.get()));
    }
}

void PageOneRaw(benchmark::State& state) {
    TFixture& f = Fixture();
    for (auto _ : state) {
        BioPtr keyBio(BIO_new_mem_buf(f.KeyText.data(), static_cast<int>(f.KeyText.size())));
        EvpPKeyPtr key(PEM_read_bio_PrivateKey(keyBio.get(), nullptr, PasswordCallback, &f.Phrase));
        BioPtr certBio(BIO_new_mem_buf(f.CertText.data(), static_cast<int>(f.CertText.size())));
        X509Ptr cert(PEM_read_bio_X509(certBio.get(), nullptr, nullptr, nullptr));
        benchmark::DoNotOptimize(X509_check_private_key(cert.get(), key.get()));
    }
}

// The wizard's page one: the crypto manager with the OpenSSL format proves the files of a
// key folder; the raw side reads the same two files and does the same three calls.
void PageOneFormatLayer(benchmark::State& state) {
    TFixture& f = Fixture();
    TOpenSSLCryptoFormat format;
    TCryptoMan manager;
    manager.SetCryptoFormat(&format);
    for (auto _ : state) {
        TCryptoManUse use(manager);
        manager.SetKeyInfo("USER01", f.Password, f.Folder, KeyInfoFlags::All);
        manager.CheckUserKeys();
        manager.CheckKeyPairs();
    }
}

void PageOneFormatRaw(benchmark::State& state) {
    TFixture& f = Fixture();
    for (auto _ : state) {
        BioPtr keyBio(BIO_new_file((f.Folder + "/USER01.KEY").c_str(), "r"));
        EvpPKeyPtr key(PEM_read_bio_PrivateKey(keyBio.get(), nullptr, PasswordCallback, &f.Phrase));
        BioPtr certBio(BIO_new_file((f.Folder + "/USER01.CER").c_str(), "r"));
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
BENCHMARK(PageOneFormatLayer)->Unit(benchmark::kMicrosecond);
BENCHMARK(PageOneFormatRaw)->Unit(benchmark::kMicrosecond);
BENCHMARK(SignLayer)->Unit(benchmark::kMicrosecond);
BENCHMARK(SignRaw)->Unit(benchmark::kMicrosecond);
BENCHMARK(VerifyLayer)->Unit(benchmark::kMicrosecond);
BENCHMARK(VerifyRaw)->Unit(benchmark::kMicrosecond);

/// Console output plus the CPU time per iteration of every benchmark, for the ratios.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            // With repetitions the median stands for the benchmark; without, its one run.
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            const bool single = run.run_type == Run::RT_Iteration && !Medians.count(run.run_name.function_name);
            if (median || single) {
                Times[run.run_name.function_name] = run.GetAdjustedCPUTime();
            }
            if (median) {
                Medians.insert(run.run_name.function_name);
            }
        }
    }
    std::map<std::string, double> Times;
    std::set<std::string> Medians;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RegisterOpenSSLFormat();
    Fixture();
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const char* topic : {"PageOne", "PageOneFormat", "Sign", "Verify"}) {
        const auto layer = reporter.Times.find(std::string(topic) + "Layer");
        const auto raw = reporter.Times.find(std::string(topic) + "Raw");
        if (layer != reporter.Times.end() && raw != reporter.Times.end() && raw->second > 0) {
            std::printf("%-14s layer/raw = %.3f (overhead %+.1f%%)\n", topic, layer->second / raw->second,
                        (layer->second / raw->second - 1) * 100);
        }
    }
    benchmark::Shutdown();
    return 0;
}
