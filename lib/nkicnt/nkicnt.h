/* Software native token library (libnkicnt.so).
 *
 * Rules of this interface:
 * - Every entry point returns a 32-bit result code, 0 = success (NKI_OK below).
 * - Texts are byte strings ending in a zero byte; a length argument never counts that byte.
 * - A session handle is an opaque number issued by nkiOpenSessionEx; 0 is never a handle.
 *   Unknown handles are refused with NKI_E_BAD_HANDLE, never followed.
 * - Output buffers belong to the caller and have the fixed sizes given below.
 * - No C++ exception leaves the library. Calls are serialised inside the library.
 * - nkiCheckPINEx and nkiChangePINEx never return a code from E0 to FF hexadecimal other than
 *   a refused PIN (NKI_E_PIN_REFUSED | tries left): callers read that range as a refusal.
 * - Entry points that this system does not use return NKI_E_NOT_SUPPORTED.
 *
 * Devices are folders under the directory named by the environment variable NKICNT_DEVICES;
 * see docs/nkicnt.md for the folder format.
 */
#ifndef BRELO_NKICNT_H
#define BRELO_NKICNT_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t nkiHandle;

enum {
  NKI_OK = 0,
  NKI_E_NOT_SUPPORTED = 2,   /* entry point not implemented */
  NKI_E_NO_DEVICE = 3,       /* no such device, or it was removed */
  NKI_E_GENERAL = 32,        /* bad argument to a PIN function; anything unforeseen */
  NKI_E_PIN_LOCKED = 36,     /* PIN (or PUK) blocked after its last try */
  NKI_E_BAD_HANDLE = 37,     /* not a handle of an open session */
  NKI_E_PIN_FORM = 39,       /* PIN or PUK of a form the device never accepts */
  NKI_E_HOST_MEMORY = 52,
  NKI_E_PUK_INCORRECT = 160, /* wrong PUK */
  NKI_E_ACCESS_DENIED = 164, /* files need a PIN check in the session first */
  NKI_E_PIN_REFUSED = 0xE0,  /* wrong PIN; the low four bits hold the tries left */
  NKI_E_ARGUMENTS = 251,     /* bad argument */
  NKI_E_STORAGE = 252,       /* the device could not be written; nothing was changed */
  NKI_E_DEVICE = 255         /* the device's data is damaged */
};

enum { NKI_DEVICE_NAME_BUFFER = 73, NKI_MESSAGE_BUFFER = 127, NKI_LANGUAGE_RUSSIAN = 1049 };
enum { NKI_CHANGE_PIN = 0, NKI_CHANGE_PUK = 1, NKI_UNBLOCK_PIN = 2 };
enum { NKI_CREDENTIAL_TEXT = 6 }; /* credential type of nkiReInitializeEx */

/* 1 */ uint32_t nkiGetVersion(uint32_t* version);
/* Index from 1; Mode must be 1. Buffer (NKI_DEVICE_NAME_BUFFER bytes) receives the name of
   the Index-th device, or an empty text past the last one. */
/* 2 */ uint32_t nkiEnumDevices(uint32_t index, uint32_t mode, char* buffer);
/* 3 */ uint32_t nkiSetMode(uint32_t mode);
/* Sets a new user PIN and PUK, unblocks both and clears every file; needs no PIN check.
   PinType and PukType must be NKI_CREDENTIAL_TEXT: the credentials are zero-terminated texts. */
/* 4 */ uint32_t nkiReInitializeEx(nkiHandle handle, const char* userPin, uint32_t pinType,
                                   const char* puk, uint32_t pukType, const char* label);
/* 5 */ uint32_t nkiCreateContext(void** context);
/* 6 */ uint32_t nkiDestroyContext(void* context);
/* 7 */ uint32_t nkiOpenSession(void* context, const char* deviceName, nkiHandle* handle);
/* 8 */ uint32_t nkiCloseSession(void* context, nkiHandle handle);
/* 9 */ uint32_t nkiGetUID(nkiHandle handle, uint64_t* uid);
/* 10 */ uint32_t nkiCheckPIN(nkiHandle handle, const char* pin);
/* 11 */ uint32_t nkiChangePIN(nkiHandle handle, const char* oldPin, const char* newPin);
/* 12 */ uint32_t nkiNotifyPasswordChanged(nkiHandle handle);
/* 13 */ uint32_t nkiForgetPIN(nkiHandle handle);
/* Buffer (NKI_MESSAGE_BUFFER bytes) receives the text for Code: Russian (UTF-8) for
   NKI_LANGUAGE_RUSSIAN, English otherwise. */
/* 14 */ uint32_t nkiErrorMsgLang(uint32_t code, uint32_t language, char* buffer);
/* 15 */ uint32_t nkiGetFileSize(nkiHandle handle, uint32_t fileNo, int32_t* size);
/* 16 */ uint32_t nkiReadFile(nkiHandle handle, uint32_t fileNo, void* buffer, uint32_t count);
/* 17 */ uint32_t nkiWriteFile(nkiHandle handle, uint32_t fileNo, const void* buffer,
                               uint32_t count);
/* 18 */ uint32_t nkiReInitialize(nkiHandle handle, const char* userPin, const char* puk);
/* 19 */ uint32_t nkiIoControl(nkiHandle handle, uint32_t code, void* in, uint32_t inSize,
                               void* out, uint32_t* outSize);
/* Flags must be 0. Handle receives the new session's handle. */
/* 20 */ uint32_t nkiOpenSessionEx(nkiHandle* handle, const char* deviceName, uint32_t flags);
/* Ends the session and sets Handle to 0. */
/* 21 */ uint32_t nkiCloseSessionEx(nkiHandle* handle);
/* A wrong PIN returns NKI_E_PIN_REFUSED | tries left; the last wrong try blocks the PIN. */
/* 22 */ uint32_t nkiCheckPINEx(nkiHandle handle, const char* pin, uint32_t pinLength);
/* Mode NKI_CHANGE_PIN: Old is the user PIN (checked as by nkiCheckPINEx);
   NKI_CHANGE_PUK: Old and New are PUKs; NKI_UNBLOCK_PIN: Old is the PUK, New the user PIN. */
/* 23 */ uint32_t nkiChangePINEx(nkiHandle handle, const char* oldPin, uint32_t oldLength,
                                 const char* newPin, uint32_t newLength, uint32_t mode);
/* 24 */ uint32_t nkiGetFileIndex(nkiHandle handle, const char* name, uint32_t* fileNo);
/* Files 1 to 4; Offset + Count must lie within the file. Needs a PIN check in the session. */
/* 25 */ uint32_t nkiReadFileEx(nkiHandle handle, uint32_t fileNo, void* buffer, uint32_t offset,
                                uint32_t count);
/* 26 */ uint32_t nkiWriteFileEx(nkiHandle handle, uint32_t fileNo, const void* buffer,
                                 uint32_t offset, uint32_t count);
/* Size receives the file's size, or -1 for a file the device does not have. */
/* 27 */ uint32_t nkiGetFileSizeEx(nkiHandle handle, uint32_t fileNo, int32_t* size);

#ifdef __cplusplus
}
#endif

#endif
