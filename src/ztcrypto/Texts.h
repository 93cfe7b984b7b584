#pragma once
// The library's fixed user texts (UTF-8).

namespace brelo::ZtText {

inline constexpr const char* InsertKeyDisk = "Вставьте ключевую дискету пользователя %s в дисковод!";
inline constexpr const char* CalcUserSig = "При вычислении цифровой подписи";
inline constexpr const char* OnTestingSign = "При проверке подписи";
inline constexpr const char* OnReadCert = "При чтении сертификата";
inline constexpr const char* UnknownCertCenter = "Сертификат выдан неизвестным центром сертификации!";
inline constexpr const char* OnCheckValidCert = "При проверке подлинности сертификата";
inline constexpr const char* CertNotStarted = "Срок действия сертификата еще не наступил";
inline constexpr const char* CertExpired = "Срок действия сертификата уже истек";
inline constexpr const char* OnReadOpenKey = "При чтении открытого ключа из запроса";
inline constexpr const char* OnCheckSigOnReq = "При проверке подписи на запросе";
inline constexpr const char* DaysTooLarge =
    "Параметр \"количество дней действия сертификата\" слишком велик.";
inline constexpr const char* WrongDistIndex = "GetDistinguishedNameEntry: Неверный индекс %d";
inline constexpr const char* LowBufferDist = "GetDistinguishedNameEntry: недостаточный буфер для имени";
inline constexpr const char* LowSizeBufferDist =
    "GetDistinguishedNameEntry: недостаточный буфер для значения";
inline constexpr const char* OnReadingCryptedPackage = "При чтении шифрованного пакета:";
inline constexpr const char* OnDecryptingPackage = "При расшифровке пакета:";

// Texts of this build's C boundary, where the Windows system had none.
inline constexpr const char* InvalidHandle = "%s: недопустимый дескриптор (%s)";
inline constexpr const char* InvalidArgument = "%s: недопустимый аргумент (%s)";
inline constexpr const char* BufferTooSmall = "%s: недостаточный буфер (нужно %d байт)";
inline constexpr const char* UnknownDigest = "Неизвестный алгоритм хеширования \"%s\"";
inline constexpr const char* UnknownCipher = "Неизвестный алгоритм шифрования \"%s\"";
inline constexpr const char* StreamFailed = "%s: ошибка потока (%s)";
inline constexpr const char* SerialTooLarge = "Серийный номер сертификата не помещается в 32 бита";
inline constexpr const char* NoPackage = "Неизвестный формат шифрованного пакета (%d)";
inline constexpr const char* KeyMismatch = "Ключ издателя не соответствует его сертификату";
inline constexpr const char* PasswordEncoding =
    "Пароль содержит символ, которого нет в кодировке Windows-1251";
inline constexpr const char* TextEncoding = "%s: текст содержит символ, которого нет в кодировке Windows-1251";
inline constexpr const char* OutOfMemory = "Недостаточно памяти";
inline constexpr const char* OpenSSLFailed = "Ошибка библиотеки OpenSSL";
inline constexpr const char* Internal = "%s: внутренняя ошибка";

}  // namespace brelo::ZtText
