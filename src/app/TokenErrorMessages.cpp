#include "app/TokenErrorMessages.h"

#include "core/Text.h"

namespace brelo {

namespace {

struct TokenErrorSentence {
    std::string_view name;
    std::string_view sentence;
};

// Looked up in this order; names are distinct, so the order only matters for reading.
constexpr TokenErrorSentence kSentences[] = {
    {"CKR_GENERAL_ERROR", "Сбой в работе оборудования (компьютера или USB-токена)"},
    {"CKR_HOST_MEMORY", "Недостаточно памяти на компьютере с криптографической библиотекой"},
    {"CKR_FUNCTION_FAILED", "Невозможно выполнить требуемое действие. Попробуйте повторить попытку"},
    {"CKR_SESSION_HANDLE_INVALID", "Ошибка сессии. Возможно, был отключен USB-токен"},
    {"CKR_DEVICE_REMOVED", "USB-токен был отключен во время выполнения операции"},
    {"CKR_SESSION_CLOSED", "Сессия закрыта при попытке доступа к ней нескольких процессов одновременно"},
    {"CKR_DEVICE_MEMORY", "Недостаточно памяти на USB-токене"},
    {"CKR_DEVICE_ERROR", "Сбой в работе USB-токена или разъема"},
    {"CKR_TOKEN_NOT_PRESENT", "USB-токен отсутствует в разъеме"},
    {"CKR_CANCEL", "Операция была отменена системой"},
    {"CKR_MUTEX_BAD", "Найдены взаимоисключающие объекты"},
    {"CKR_MUTEX_NOT_LOCKED", "Попытка разблокировать незаблокированный объект"},
    {"CKR_ARGUMENTS_BAD", "Переданы неправильные параметры шифрования"},
    {"CKR_ATTRIBUTE_READ_ONLY", "Параметр не может быть задан или изменен"},
    {"CKR_ATTRIBUTE_SENSITIVE", "Невозможно получить значение"},
    {"CKR_ATTRIBUTE_TYPE_INVALID", "В шаблоне указан неверный параметр"},
    {"CKR_ATTRIBUTE_VALUE_INVALID", "В шаблоне указано неверное значение"},
    {"CKR_BUFFER_TOO_SMALL", "Недостаточно выделенного буфера"},
    {"CKR_CANT_LOCK", "Невозможно выполнить запрашиваемую блокировку"},
    {"CKR_CRYPTOKI_ALREADY_INITIALIZED", "Криптографическая библиотека уже инициализирована"},
    {"CKR_CRYPTOKI_NOT_INITIALIZED", "Криптографическая библиотека еще не инициализирована"},
    {"CKR_DATA_INVALID", "Ошибка текстовых данных"},
    {"CKR_DATA_LEN_RANGE", "Текстовые данные имеют неправильную длину"},
    {"CKR_DOMAIN_PARAMS_INVALID", "Переданы неверные параметры домена"},
    {"CKR_ENCRYPTED_DATA_INVALID", "Ошибка зашифрованных данных"},
    {"CKR_ENCRYPTED_DATA_LEN_RANGE", "Зашифрованные данные имеют неправильную длину"},
    {"CKR_EXCEEDED_MAX_ITERATIONS", "Превышено максимальное количество повторов"},
    {"CKR_FIPS_SELF_TEST_FAILED", "Ошибка самопроверки USB-токена при включении"},
    {"CKR_FUNCTION_CANCELED", "Операция была отменена системой"},
    {"CKR_FUNCTION_NOT_PARALLEL", "Параллельная операция в сессии не выполняется"},
    {"CKR_FUNCTION_NOT_SUPPORTED", "Данная функция не поддерживается криптографической библиотекой"},
    {"CKR_FUNCTION_REJECTED", "Запрос на подпись отклонен пользователем"},
    {"CKR_INFORMATION_SENSITIVE", "Невозможно получить доступ к запрашиваемой информации на USB-токене"},
    {"CKR_OK", "Успешно"},
    {"CKR_KEY_CHANGED", "Один из ключей был изменен"},
    {"CKR_KEY_FUNCTION_NOT_PERMITTED", "Попытка выполнения операции ключом, параметры которого не позволяют выполнение данной операции"},
    {"CKR_KEY_HANDLE_INVALID", "Неверный идентификатор ключа"},
    {"CKR_KEY_INDIGESTIBLE", "Значение указанного ключа не может быть обработано"},
    {"CKR_KEY_NEEDED", "Требуется один или несколько ключей для восстановления сессии"},
    {"CKR_KEY_NOT_NEEDED", "Был предоставлен неподходящий ключ"},
    {"CKR_KEY_NOT_WRAPPABLE", "Криптографическая библиотека или USB-токен не могут зашифровать указанный персональный или секретный ключ"},
    {"CKR_KEY_SIZE_RANGE", "Криптографическая библиотека или USB-токен не могут обработать ключ такого размера"},
    {"CKR_KEY_TYPE_INCONSISTENT", "Указан ключ неверного типа"},
    {"CKR_KEY_UNEXTRACTABLE", "Указанный персональный или секретный ключ не может быть зашифрован"},
    {"CKR_LIBRARY_LOAD_FAILED", "Криптографическая библиотека не может загрузить зависимую общую библиотеку"},
    {"CKR_MECHANISM_INVALID", "Выбран неверный механизм для криптографической операции"},
    {"CKR_MECHANISM_PARAM_INVALID", "Заданы неверные параметры механизма криптографической операции"},
    {"CKR_NEED_TO_CREATE_THREADS", "Необходимо создать процессы"},
    {"CKR_NO_EVENT", "Новые действия с устройством не производились"},
    {"CKR_OBJECT_HANDLE_INVALID", "Неверный идентификатор указанного объекта"},
    {"CKR_OPERATION_ACTIVE", "Указанная операция не может быть выполнена, так как выполняется другая операция"},
    {"CKR_OPERATION_NOT_INITIALIZED", "В указанной сессии нет активных операций"},
    {"CKR_PIN_EXPIRED", "Истек срок действия данного PIN-кода. Введите новый PIN-код для выполнения операции"},
    {"CKR_PIN_INCORRECT", "Ошибка аутентификации пользователя. Возможно, данный токен не был привязан к пользователю "},
    {"CKR_PIN_INVALID", "Введенный PIN-код содержит недопустимые символы"},
    {"CKR_PIN_LEN_RANGE", "Введен PIN-код неверной длины"},
    {"CKR_PIN_LOCKED", "Введенный PIN-код заблокирован и не может быть использован. На USB-токене превышено допустимое количество попыток аутентификации"},
    {"CKR_PIN_TOO_WEAK", "Введен слишком легкий PIN-код. Необходим более сложный PIN-код для обеспечения безопасности"},
    {"CKR_PUBLIC_KEY_INVALID", "Недействительный открытый ключ"},
    {"CKR_RANDOM_NO_RNG", "На данном USB-токене отсутствует генератор случайных чисел"},
    {"CKR_RANDOM_SEED_NOT_SUPPORTED", "Генератор случайных чисел USB-токена не поддерживает данный запрос приложения"},
    {"CKR_SAVED_STATE_INVALID", "Операция недействительна и не может быть восстановлена в данной сессии"},
    {"CKR_SESSION_COUNT", "Невозможно открыть новую сессию, так как на USB-токене слишком много открытых сессий"},
    {"CKR_SESSION_EXISTS", "USB-токен уже был инициализирован"},
    {"CKR_SESSION_PARALLEL_NOT_SUPPORTED", "USB-токен не поддерживает параллельные сессии"},
    {"CKR_SESSION_READ_ONLY", "Невозможно выполнить запрашиваемую операцию, так как сессия доступна только для чтения"},
    {"CKR_SESSION_READ_ONLY_EXISTS", "Невозможно подключится SO-пользователю, так как уже открыта сессия, доступная только для чтения"},
    {"CKR_SESSION_READ_WRITE_SO_EXISTS", "Невозможно открыть сессию, доступную только для чтения, так подключен SO-пользователь"},
    {"CKR_SIGNATURE_LEN_RANGE", "Данная подпись/код аутентификации имеет неверную длину"},
    {"CKR_SIGNATURE_INVALID", "Ошибка подписи/кода аутентификации"},
    {"CKR_SLOT_ID_INVALID", "Ошибка USB-разъема"},
    {"CKR_STATE_UNSAVEABLE", "Операция не может быть сохранена в рамках данной сессии"},
    {"CKR_TEMPLATE_INCOMPLETE", "Указанный шаблон содержит не все необходимые параметры"},
    {"CKR_TEMPLATE_INCONSISTENT", "Указанный шаблон содержит несовместимые параметры"},
    {"CKR_TOKEN_NOT_RECOGNIZED", "Подключенный USB-токен не распознается криптографической библиотекой и/или USB-разъемом"},
    {"CKR_TOKEN_WRITE_PROTECTED", "Операция не может быть выполнена, так как USB-токен защищен от записи"},
    {"CKR_UNWRAPPING_KEY_HANDLE_INVALID", "Неверный идентификатор ключа для расшифровывания"},
    {"CKR_UNWRAPPING_KEY_SIZE_RANGE", "Ключ для расшифровывания имеет неверную длину"},
    {"CKR_UNWRAPPING_KEY_TYPE_INCONSISTENT", "Неверный ключ для расшифровывания"},
    {"CKR_USER_ALREADY_LOGGED_IN", "Подключение невозможно, так как пользователь уже подключен"},
    {"CKR_USER_ANOTHER_ALREADY_LOGGED_IN", "Подключение невозможно, так как был подключен другой пользователь"},
    {"CKR_USER_NOT_LOGGED_IN", "Для выполнения операции необходимо, чтобы соответствующий пользователь вошел в систему"},
    {"CKR_USER_PIN_NOT_INITIALIZED", "PIN-код пользователя не был инициализирован"},
    {"CKR_USER_TOO_MANY_TYPES", "Превышен лимит USB-токена или библиотеки на подключение нескольких пользователей разных типов одновременно"},
    {"CKR_USER_TYPE_INVALID", "Указан неверный тип пользователя"},
    {"CKR_WRAPPED_KEY_INVALID", "Зашифрованный ключ является недействительным"},
    {"CKR_WRAPPED_KEY_LEN_RANGE", "Зашифрованный ключ имеет неверную длину"},
    {"CKR_WRAPPING_KEY_HANDLE_INVALID", "Неверный идентификатор ключа для шифрования"},
    {"CKR_WRAPPING_KEY_SIZE_RANGE", "Криптографическая библиотека или USB-токен не могут использовать ключ для шифрования такого размера"},
    {"CKR_WRAPPING_KEY_TYPE_INCONSISTENT", "Неверный тип ключа для шифрования"},
};

// The one sentence that names the customer: the login follows its trailing space.
constexpr std::string_view kLoginEntry = "CKR_PIN_INCORRECT";

}  // namespace

std::string TranslateTokenError(std::string_view Text, std::string_view Login) {
    std::string trimmed = Trim(Text);
    for (const auto& entry : kSentences) {
        if (entry.name == trimmed) {
            std::string sentence(entry.sentence);
            if (entry.name == kLoginEntry) {
                sentence += Login;
            }
            return sentence;
        }
    }
    return trimmed;
}

}  // namespace brelo
