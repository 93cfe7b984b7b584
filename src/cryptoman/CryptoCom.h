#pragma once
// The crypto manager and the key, certificate, request and format model in one include.

#include "cryptoman/CryptoMan.h"
#include "cryptoman/CryptoUtils.h"
#include "cryptoman/CustomCertificate.h"
#include "cryptoman/CustomCryptoFormat.h"
#include "cryptoman/CustomKey.h"
#include "cryptoman/KeyFiles.h"
