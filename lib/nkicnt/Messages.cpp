#include "Messages.h"

#include "nkicnt.h"

#include <cstring>

namespace brelo::nkicnt {
namespace {

struct Text {
  uint32_t code;
  const char* russian;
  const char* english;
};

constexpr Text kTexts[] = {
    {NKI_OK, "Операция выполнена успешно", "Success"},
    {NKI_E_NOT_SUPPORTED, "Функция не поддерживается", "Function not supported"},
    {NKI_E_NO_DEVICE, "Устройство не найдено или отключено", "Device not found or removed"},
    {NKI_E_GENERAL, "Ошибка при выполнении операции", "Operation failed"},
    {NKI_E_PIN_LOCKED, "PIN-код заблокирован", "PIN blocked"},
    {NKI_E_BAD_HANDLE, "Неверный дескриптор сеанса", "Invalid session handle"},
    {NKI_E_PIN_FORM, "Недопустимый PIN-код", "PIN of an invalid form"},
    {NKI_E_HOST_MEMORY, "Недостаточно памяти", "Out of memory"},
    {NKI_E_PUK_INCORRECT, "Неверный PUK-код", "Wrong PUK"},
    {NKI_E_ACCESS_DENIED, "Доступ запрещён: сначала введите PIN-код",
     "Access denied: PIN check needed"},
    {NKI_E_ARGUMENTS, "Неверные параметры вызова", "Bad arguments"},
    {NKI_E_STORAGE, "Не удалось записать данные на устройство", "Cannot write to the device"},
    {NKI_E_DEVICE, "Данные устройства повреждены", "Device data damaged"},
};

}  // namespace

std::string ErrorMessage(uint32_t code, uint32_t language) {
  const bool russian = language == NKI_LANGUAGE_RUSSIAN;
  if ((code & 0xF0) == NKI_E_PIN_REFUSED && code <= 0xFF) {
    const std::string tries = std::to_string(code & 0x0F);
    return russian ? "Неверный PIN-код, осталось попыток: " + tries
                   : "Wrong PIN, tries left: " + tries;
  }
  for (const Text& t : kTexts) {
    if (t.code == code) return russian ? t.russian : t.english;
  }
  const std::string number = std::to_string(code);
  return russian ? "Неизвестная ошибка " + number : "Unknown error " + number;
}

void CopyText(const std::string& text, char* buffer, size_t size) {
  if (size == 0) return;
  size_t n = std::min(text.size(), size - 1);
  // Never end inside a multi-byte character: continuation bytes are 10xxxxxx.
  if (n < text.size()) {
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  }
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

}  // namespace brelo::nkicnt
