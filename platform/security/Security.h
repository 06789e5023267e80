#pragma once
// The Security stand-in: certificates, public keys, policies and trust evaluation over OpenSSL.

#include "platform/security/SecBase.h"
#include "platform/security/SecCertificate.h"
#include "platform/security/SecKey.h"
#include "platform/security/SecPolicy.h"
#include "platform/security/SecTrust.h"
