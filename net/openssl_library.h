#pragma once

// OpenSSL, loaded when a session first needs TLS. No program of ours links libssl or libcrypto:
// the dynamic loader would map and relocate both at every start, and most runs never use TLS.
// OpenSSL() loads libssl.so.3 (which brings libcrypto.so.3) once per process and resolves the
// functions the socket layer and the FTP engine call into one table. Each member has the type
// of the function it stands for (decltype from OpenSSL's own headers), so every call is checked
// by the compiler as a direct one would be. The names are OpenSSL's.
//
// Functions that OpenSSL's headers define as macros go through the functions they expand to
// (SSL_ctrl, SSL_CTX_ctrl, BIO_ctrl, BIO_set_flags ...); the few the code calls are wrapped
// below under their usual names. Inline functions of the headers (ERR_GET_REASON) need no table.

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

// X(Name) for every function of the table.
#define TARN_OPENSSL_FUNCTIONS(X)                                                                  \
    X(ASN1_TIME_to_tm)                                                                             \
    X(BIO_clear_flags)                                                                             \
    X(BIO_ctrl)                                                                                    \
    X(BIO_free)                                                                                    \
    X(BIO_get_data)                                                                                \
    X(BIO_get_new_index)                                                                           \
    X(BIO_meth_new)                                                                                \
    X(BIO_meth_set_ctrl)                                                                           \
    X(BIO_meth_set_read)                                                                           \
    X(BIO_meth_set_write)                                                                          \
    X(BIO_new)                                                                                     \
    X(BIO_s_mem)                                                                                   \
    X(BIO_set_data)                                                                                \
    X(BIO_set_flags)                                                                               \
    X(BIO_set_init)                                                                                \
    X(ERR_clear_error)                                                                             \
    X(ERR_error_string_n)                                                                          \
    X(ERR_get_error)                                                                               \
    X(ERR_peek_error)                                                                              \
    X(EVP_sha256)                                                                                  \
    X(SSL_CIPHER_get_name)                                                                         \
    X(SSL_CTX_ctrl)                                                                                \
    X(SSL_CTX_free)                                                                                \
    X(SSL_CTX_new)                                                                                 \
    X(SSL_CTX_set_default_verify_paths)                                                            \
    X(SSL_CTX_set_options)                                                                         \
    X(SSL_ctrl)                                                                                    \
    X(SSL_do_handshake)                                                                            \
    X(SSL_free)                                                                                    \
    X(SSL_get0_param)                                                                              \
    X(SSL_get0_peer_certificate)                                                                   \
    X(SSL_get_current_cipher)                                                                      \
    X(SSL_get_error)                                                                               \
    X(SSL_get_session)                                                                             \
    X(SSL_get_verify_result)                                                                       \
    X(SSL_get_version)                                                                             \
    X(SSL_new)                                                                                     \
    X(SSL_pending)                                                                                 \
    X(SSL_read_ex)                                                                                 \
    X(SSL_set1_host)                                                                               \
    X(SSL_set_bio)                                                                                 \
    X(SSL_set_connect_state)                                                                       \
    X(SSL_set_session)                                                                             \
    X(SSL_set_verify)                                                                              \
    X(SSL_shutdown)                                                                                \
    X(SSL_write_ex)                                                                                \
    X(TLS_client_method)                                                                           \
    X(X509_NAME_print_ex)                                                                          \
    X(X509_VERIFY_PARAM_set1_ip_asc)                                                               \
    X(X509_digest)                                                                                 \
    X(X509_get0_notAfter)                                                                          \
    X(X509_get0_notBefore)                                                                         \
    X(X509_get_issuer_name)                                                                        \
    X(X509_get_subject_name)                                                                       \
    X(X509_verify_cert_error_string)

namespace tarn {

// The name the loader is asked for: the ABI of OpenSSL 3.
inline constexpr const char *OpenSslLibraryName = "libssl.so.3";

struct TOpenSslLibrary
{
// NOLINTNEXTLINE(bugprone-macro-parentheses): Name is the declared member's name
#define TARN_OPENSSL_MEMBER(Name) decltype(&::Name) Name = nullptr;
    TARN_OPENSSL_FUNCTIONS(TARN_OPENSSL_MEMBER)
#undef TARN_OPENSSL_MEMBER

    // The macros of the headers the code uses, on the table's functions.
    long SetMinProtoVersion(SSL_CTX *Context, int Version) const
    {
        return SSL_CTX_ctrl(Context, SSL_CTRL_SET_MIN_PROTO_VERSION, Version, nullptr);
    }
    long SetMaxProtoVersion(SSL_CTX *Context, int Version) const
    {
        return SSL_CTX_ctrl(Context, SSL_CTRL_SET_MAX_PROTO_VERSION, Version, nullptr);
    }
    long SetSessionCacheMode(SSL_CTX *Context, long Mode) const
    {
        return SSL_CTX_ctrl(Context, SSL_CTRL_SET_SESS_CACHE_MODE, Mode, nullptr);
    }
    long SetMode(SSL *Ssl, long Mode) const
    {
        return SSL_ctrl(Ssl, SSL_CTRL_MODE, Mode, nullptr);
    }
    long SetTlsextHostName(SSL *Ssl, const char *Name) const
    {
        return SSL_ctrl(Ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                        const_cast<char *>(Name));
    }
    long GetMemData(BIO *Bio, char **Data) const
    {
        return BIO_ctrl(Bio, BIO_CTRL_INFO, 0, Data);
    }
    void ClearRetryFlags(BIO *Bio) const
    {
        BIO_clear_flags(Bio, BIO_FLAGS_RWS | BIO_FLAGS_SHOULD_RETRY);
    }
    void SetRetryRead(BIO *Bio) const
    {
        BIO_set_flags(Bio, BIO_FLAGS_READ | BIO_FLAGS_SHOULD_RETRY);
    }
    void SetRetryWrite(BIO *Bio) const
    {
        BIO_set_flags(Bio, BIO_FLAGS_WRITE | BIO_FLAGS_SHOULD_RETRY);
    }
};

// The table, loaded on the first call (thread-safe; later calls cost an atomic load). Throws
// ESocketException "TLS is not available: libssl.so.3 cannot be loaded (REASON)" when the
// library or one of its functions cannot be found, on this and every later call. Code that
// runs on an SSL object or context already made may rely on it not to throw.
const TOpenSslLibrary &OpenSsl();

} // namespace tarn
