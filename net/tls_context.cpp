#include "net/tls_context.h"

#include "net/socket_exception.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

namespace tarn {

TTlsContext NewTlsClientContext()
{
    SSL_CTX *context = SSL_CTX_new(TLS_client_method());
    if (!context)
        throw ESocketException(TakeTlsErrorText("TLS: cannot create a context"));
    TTlsContext owner(context, SSL_CTX_free);
    // TLS 1.2 exactly. FTP's data connections must resume the control connection's session
    // (vsftpd refuses them otherwise); a TLS 1.3 session ticket is good for one resumption
    // only, so the second transfer of a session would be refused. TLS 1.2 sessions resume
    // any number of times.
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_max_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_options(context, SSL_OP_NO_COMPRESSION);
    SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_CLIENT);
    if (SSL_CTX_set_default_verify_paths(context) != 1)
        ERR_clear_error(); // no trust store: nothing verifies, pinning still works
    return owner;
}

std::string TakeTlsErrorText(const std::string &Fallback)
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return Fallback;
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

} // namespace tarn
