// ztcrypto's signatures and packages against the same work done directly with OpenSSL, on
// 1 MiB and 64 MiB of data. Each benchmark times both in the same iterations and reports the
// ratio (library time / OpenSSL time). The peak memory of the 64 MiB packages is measured in a
// fresh process over file streams, so that only the memory of the work itself is counted.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <openssl/rand.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "ztcrypto.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::int64_t MiB = 1 << 20;

void Must(int rc, const char* what) {
    if (rc != ZT_OK) {
        std::fprintf(stderr, "%s failed: %d\n", what, rc);
        std::exit(1);
    }
}

/// A growing in-memory ZtStream.
struct TMemory {
    std::vector<unsigned char> Data;
    std::int64_t Position = 0;
    ZtStream Stream{this,
                    [](void* c, void* b, std::int64_t n) -> std::int64_t {
                        auto* m = static_cast<TMemory*>(c);
                        n = std::min<std::int64_t>(n, static_cast<std::int64_t>(m->Data.size()) - m->Position);
                        if (n <= 0) return 0;
                        std::memcpy(b, m->Data.data() + m->Position, static_cast<std::size_t>(n));
                        m->Position += n;
                        return n;
                    },
                    [](void* c, const void* b, std::int64_t n) -> std::int64_t {
                        auto* m = static_cast<TMemory*>(c);
                        if (m->Position + n > static_cast<std::int64_t>(m->Data.size())) m->Data.resize(static_cast<std::size_t>(m->Position + n));
                        std::memcpy(m->Data.data() + m->Position, b, static_cast<std::size_t>(n));
                        m->Position += n;
                        return n;
                    },
                    [](void* c, std::int64_t o, int origin) -> std::int64_t {
                        auto* m = static_cast<TMemory*>(c);
                        const std::int64_t base = origin == ZT_SEEK_SET ? 0 : origin == ZT_SEEK_CUR ? m->Position : static_cast<std::int64_t>(m->Data.size());
                        return m->Position = base + o;
                    },
                    [](void* c) -> std::int64_t { return static_cast<std::int64_t>(static_cast<TMemory*>(c)->Data.size()); },
                    [](void* c) -> std::int64_t { return static_cast<TMemory*>(c)->Position; }};
    TMemory() = default;
    TMemory(const TMemory&) = delete;
};

/// A ZtStream over a file descriptor.
ZtStream FileStream(int* fd) {
    return ZtStream{fd,
                    [](void* c, void* b, std::int64_t n) -> std::int64_t { return ::read(*static_cast<int*>(c), b, static_cast<std::size_t>(n)); },
                    [](void* c, const void* b, std::int64_t n) -> std::int64_t { return ::write(*static_cast<int*>(c), b, static_cast<std::size_t>(n)); },
                    [](void* c, std::int64_t o, int origin) -> std::int64_t {
                        return ::lseek(*static_cast<int*>(c), o, origin == ZT_SEEK_SET ? SEEK_SET : origin == ZT_SEEK_CUR ? SEEK_CUR : SEEK_END);
                    },
                    [](void* c) -> std::int64_t {
                        const int f = *static_cast<int*>(c);
                        const off_t here = ::lseek(f, 0, SEEK_CUR), end = ::lseek(f, 0, SEEK_END);
                        ::lseek(f, here, SEEK_SET);
                        return end;
                    },
                    [](void* c) -> std::int64_t { return ::lseek(*static_cast<int*>(c), 0, SEEK_CUR); }};
}

/// Where a measuring child finds the parent's key and certificate (key.pem, cert.pem).
std::string FixtureDir;

/// One key pair and its self-issued certificate, as handles and as OpenSSL objects.
struct TFixture {
    ZtKey* Key = nullptr;
    ZtCert* Cert = nullptr;
    EVP_PKEY* PKey = nullptr;
    X509* X = nullptr;
    TMemory KeyPem, CertPem;
    TFixture() {
        if (FixtureDir.empty()) Make();
        else Load();
        BIO* k = BIO_new_mem_buf(KeyPem.Data.data(), static_cast<int>(KeyPem.Data.size()));
        PKey = PEM_read_bio_PrivateKey(k, nullptr, nullptr, const_cast<char*>("bench"));
        BIO_free(k);
        BIO* c = BIO_new_mem_buf(CertPem.Data.data(), static_cast<int>(CertPem.Data.size()));
        X = PEM_read_bio_X509(c, nullptr, nullptr, nullptr);
        BIO_free(c);
        if (!PKey || !X) std::exit(1);
    }
    void Make() {
        Must(GenerateKey(2048, nullptr, nullptr, &Key), "GenerateKey");
        ZtName* name = nullptr;
        ZtRequest* request = nullptr;
        Must(CreateDistinguishedName(&name), "CreateDistinguishedName");
        Must(AddDistinguishedNameEntry(name, "CN", "bench"), "AddDistinguishedNameEntry");
        Must(CreateCertRequest(Key, name, "", &request), "CreateCertRequest");
        Must(SignRequest(request, 1, 30, nullptr, Key, "SHA256", &Cert), "SignRequest");
        FreeCertRequest(request);
        FreeDistinguishedName(name);
        Must(SaveKey(Key, &KeyPem.Stream, "", "bench", 0), "SaveKey");
        Must(SaveCertToStream(Cert, &CertPem.Stream, ZT_FORMAT_PEM), "SaveCertToStream");
    }
    void Load() {
        const std::string key = FixtureDir + "/key.pem", cert = FixtureDir + "/cert.pem";
        Must(LoadPrivateKey(key.c_str(), "bench", ZT_FORMAT_PEM, &Key), "LoadPrivateKey");
        Must(LoadCert(cert.c_str(), ZT_FORMAT_PEM, &Cert), "LoadCert");
        std::ifstream k(key, std::ios::binary), c(cert, std::ios::binary);
        KeyPem.Data.assign(std::istreambuf_iterator<char>(k), {});
        CertPem.Data.assign(std::istreambuf_iterator<char>(c), {});
    }
    void Save(const std::string& dir) const {
        std::ofstream(dir + "/key.pem", std::ios::binary).write(reinterpret_cast<const char*>(KeyPem.Data.data()), static_cast<std::streamsize>(KeyPem.Data.size()));
        std::ofstream(dir + "/cert.pem", std::ios::binary).write(reinterpret_cast<const char*>(CertPem.Data.data()), static_cast<std::streamsize>(CertPem.Data.size()));
    }
};

TFixture& Fixture() {
    static TFixture fixture;
    return fixture;
}

const std::vector<unsigned char>& Data(std::int64_t size) {
    static std::vector<unsigned char> data;
    if (static_cast<std::int64_t>(data.size()) != size) {
        data.resize(static_cast<std::size_t>(size));
        RAND_bytes(data.data(), static_cast<int>(size));
    }
    return data;
}

double Seconds(const std::function<void()>& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

/// Times the library's work as the benchmark's time and OpenSSL's in the same iterations.
void Compare(benchmark::State& state, const std::function<void()>& library, const std::function<void()>& direct) {
    double libraryTotal = 0, directTotal = 0;
    direct();  // warm-up outside the timing: key generation, first-use tables, page faults
    for (auto _ : state) {
        const double t = Seconds(library);
        state.SetIterationTime(t);
        libraryTotal += t;
        directTotal += Seconds(direct);
    }
    state.counters["openssl_ms"] = directTotal * 1000 / static_cast<double>(state.iterations());
    state.counters["ratio"] = libraryTotal / directTotal;
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

std::vector<unsigned char> DirectSign(const std::vector<unsigned char>& data) {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    std::vector<unsigned char> sig(static_cast<std::size_t>(EVP_PKEY_get_size(Fixture().PKey)));
    unsigned int length = 0;
    EVP_SignInit_ex(ctx, EVP_sha1(), nullptr);
    EVP_SignUpdate(ctx, data.data(), data.size());
    EVP_SignFinal(ctx, sig.data(), &length, Fixture().PKey);
    EVP_MD_CTX_free(ctx);
    return sig;
}

void BM_SignData(benchmark::State& state) {
    const auto& data = Data(state.range(0));
    std::vector<unsigned char> sig(512);
    Compare(
        state,
        [&] {
            std::int32_t length = 512;
            Must(SignData(Fixture().Key, "", data.data(), static_cast<std::int32_t>(data.size()), sig.data(), &length), "SignData");
        },
        [&] { benchmark::DoNotOptimize(DirectSign(data)); });
}

void BM_VerifySignature(benchmark::State& state) {
    const auto& data = Data(state.range(0));
    const auto sig = DirectSign(data);
    Compare(
        state,
        [&] {
            int valid = 0;
            Must(VerifySignature(Fixture().Key, "", data.data(), static_cast<std::int32_t>(data.size()), sig.data(),
                                 static_cast<std::int32_t>(sig.size()), &valid), "VerifySignature");
            if (!valid) std::exit(1);
        },
        [&] {
            EVP_MD_CTX* ctx = EVP_MD_CTX_new();
            EVP_VerifyInit_ex(ctx, EVP_sha1(), nullptr);
            EVP_VerifyUpdate(ctx, data.data(), data.size());
            if (EVP_VerifyFinal(ctx, sig.data(), static_cast<unsigned int>(sig.size()), Fixture().PKey) != 1) std::exit(1);
            EVP_MD_CTX_free(ctx);
        });
}

/// The package that OpenSSL makes directly from Data, in the format.
std::vector<unsigned char> DirectEncrypt(const std::vector<unsigned char>& data, int format) {
    BIO* in = BIO_new_mem_buf(data.data(), static_cast<int>(data.size()));
    STACK_OF(X509)* certs = sk_X509_new_null();
    sk_X509_push(certs, Fixture().X);
    PKCS7* p7 = PKCS7_encrypt(certs, in, EVP_des_ede3_cbc(), PKCS7_BINARY);
    BIO* out = BIO_new(BIO_s_mem());
    if (format == ZT_FORMAT_PEM) PEM_write_bio_PKCS7(out, p7);
    else i2d_PKCS7_bio(out, p7);
    char* bytes = nullptr;
    const long size = BIO_get_mem_data(out, &bytes);
    std::vector<unsigned char> package(bytes, bytes + size);
    BIO_free(out);
    PKCS7_free(p7);
    sk_X509_free(certs);
    BIO_free(in);
    return package;
}

void DirectDecrypt(const std::vector<unsigned char>& package, int format) {
    BIO* in = BIO_new_mem_buf(package.data(), static_cast<int>(package.size()));
    PKCS7* p7 = format == ZT_FORMAT_PEM ? PEM_read_bio_PKCS7(in, nullptr, nullptr, nullptr) : d2i_PKCS7_bio(in, nullptr);
    BIO* out = BIO_new(BIO_s_mem());
    if (PKCS7_decrypt(p7, Fixture().PKey, Fixture().X, out, PKCS7_BINARY) != 1) std::exit(1);
    BIO_free(out);
    PKCS7_free(p7);
    BIO_free(in);
}

void BM_EncryptStream(benchmark::State& state) {
    const auto& data = Data(state.range(0));
    const int format = static_cast<int>(state.range(1));
    Compare(
        state,
        [&] {
            TMemory source, target;
            source.Data = data;
            Must(EncryptStream(&source.Stream, &target.Stream, Fixture().Cert, "", format), "EncryptStream");
        },
        [&] { benchmark::DoNotOptimize(DirectEncrypt(data, format)); });
}

void BM_DecryptStream(benchmark::State& state) {
    const int format = static_cast<int>(state.range(1));
    const auto package = DirectEncrypt(Data(state.range(0)), format);
    Compare(
        state,
        [&] {
            TMemory source, target;
            source.Data = package;
            Must(DecryptStream(&source.Stream, &target.Stream, Fixture().Key, Fixture().Cert, format), "DecryptStream");
        },
        [&] { DirectDecrypt(package, format); });
}

BENCHMARK(BM_SignData)->Arg(MiB)->Arg(64 * MiB)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VerifySignature)->Arg(MiB)->Arg(64 * MiB)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncryptStream)->ArgsProduct({{MiB, 64 * MiB}, {ZT_FORMAT_DER, ZT_FORMAT_PEM}})->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecryptStream)->ArgsProduct({{MiB, 64 * MiB}, {ZT_FORMAT_DER, ZT_FORMAT_PEM}})->UseManualTime()->Unit(benchmark::kMillisecond);

// ---- Peak memory, in a fresh process ---------------------------------------------------------

long StatusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
    }
    return -1;
}

/// Child: runs one 64 MiB package operation between files; prints the peak growth in KiB.
int MeasureChild(const std::string& operation, const std::string& dir) {
    const int format = operation.find("pem") != std::string::npos ? ZT_FORMAT_PEM : ZT_FORMAT_DER;
    const bool encrypt = operation.rfind("encrypt", 0) == 0;
    const bool direct = operation.find("openssl") != std::string::npos;
    FixtureDir = dir;
    TFixture& fixture = Fixture();
    const std::string input = dir + (encrypt ? "/plain" : format == ZT_FORMAT_PEM ? "/package.pem" : "/package.der");
    const std::string output = dir + "/out." + operation;
    std::ofstream("/proc/self/clear_refs") << "5";  // restart the peak at the current size
    const long before = StatusKiB("VmRSS:");
    if (direct) {
        BIO* in = BIO_new_file(input.c_str(), "rb");
        BIO* out = BIO_new_file(output.c_str(), "wb");
        STACK_OF(X509)* certs = sk_X509_new_null();
        sk_X509_push(certs, fixture.X);
        if (encrypt) {
            PKCS7* p7 = PKCS7_encrypt(certs, in, EVP_des_ede3_cbc(), PKCS7_BINARY);
            if (format == ZT_FORMAT_PEM) PEM_write_bio_PKCS7(out, p7);
            else i2d_PKCS7_bio(out, p7);
            PKCS7_free(p7);
        } else {
            PKCS7* p7 = format == ZT_FORMAT_PEM ? PEM_read_bio_PKCS7(in, nullptr, nullptr, nullptr) : d2i_PKCS7_bio(in, nullptr);
            PKCS7_decrypt(p7, fixture.PKey, fixture.X, out, PKCS7_BINARY);
            PKCS7_free(p7);
        }
        sk_X509_free(certs);
        BIO_free(out);
        BIO_free(in);
    } else {
        int in = ::open(input.c_str(), O_RDONLY), out = ::open(output.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
        ZtStream source = FileStream(&in), target = FileStream(&out);
        Must(encrypt ? EncryptStream(&source, &target, fixture.Cert, "", format)
                     : DecryptStream(&source, &target, fixture.Key, fixture.Cert, format), operation.c_str());
        ::close(in);
        ::close(out);
    }
    std::printf("%ld\n", StatusKiB("VmHWM:") - before);
    return 0;
}

long RunChild(const std::string& operation, const std::string& dir) {
    const std::string command = "/proc/" + std::to_string(::getpid()) + "/exe --measure=" + operation + " " + dir;
    FILE* pipe = ::popen(command.c_str(), "r");
    long kib = -1;
    if (pipe && std::fscanf(pipe, "%ld", &kib) != 1) kib = -1;
    if (pipe) ::pclose(pipe);
    return kib;
}

std::int64_t FileSize(const std::string& path) {
    std::ifstream f(path, std::ios::binary | std::ios::ate);
    return static_cast<std::int64_t>(f.tellg());
}

/// Parent: writes the 64 MiB input and packages, then measures each operation in a child.
void ReportPeakMemory() {
    char dir[] = "/tmp/bench-ztcrypto-XXXXXX";
    if (!::mkdtemp(dir)) return;
    const std::string d = dir;
    Fixture().Save(d);
    const auto& data = Data(64 * MiB);
    std::ofstream(d + "/plain", std::ios::binary).write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    for (int format : {ZT_FORMAT_DER, ZT_FORMAT_PEM}) {
        const auto package = DirectEncrypt(data, format);
        std::ofstream(d + (format == ZT_FORMAT_PEM ? "/package.pem" : "/package.der"), std::ios::binary)
            .write(reinterpret_cast<const char*>(package.data()), static_cast<std::streamsize>(package.size()));
    }
    std::printf("\nPeak memory growth over file streams, 64 MiB content (package: DER %.1f MiB, PEM %.1f MiB)\n",
                static_cast<double>(FileSize(d + "/package.der")) / MiB, static_cast<double>(FileSize(d + "/package.pem")) / MiB);
    std::printf("%-16s %14s %14s %16s\n", "operation", "ztcrypto MiB", "OpenSSL MiB", "x package size");
    for (const char* op : {"encrypt-der", "encrypt-pem", "decrypt-der", "decrypt-pem"}) {
        const std::string name = op;
        const long zt = RunChild(name, d), direct = RunChild(name + "-openssl", d);
        const std::int64_t package = FileSize(d + (name.find("pem") != std::string::npos ? "/package.pem" : "/package.der"));
        std::printf("%-16s %14.1f %14.1f %16.2f\n", op, zt / 1024.0, direct / 1024.0,
                    static_cast<double>(zt) * 1024 / static_cast<double>(package));
    }
    std::string cleanup = "rm -rf " + d;
    if (std::system(cleanup.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", dir);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strncmp(argv[1], "--measure=", 10) == 0) return MeasureChild(argv[1] + 10, argv[2]);
    bool memory = true;
    std::vector<char*> args;
    for (int i = 0; i < argc; i++) {
        if (std::strcmp(argv[i], "--no-memory") == 0) memory = false;
        else args.push_back(argv[i]);
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (memory) ReportPeakMemory();
    return 0;
}
