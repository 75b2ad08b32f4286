#include "net/tls_context.h"

#include "net/openssl_library.h"
#include "net/socket_exception.h"

namespace tarn {

TTlsContext NewTlsClientContext()
{
    const TOpenSslLibrary &ssl = OpenSsl();
    SSL_CTX *context = ssl.SSL_CTX_new(ssl.TLS_client_method());
    if (!context)
        throw ESocketException(TakeTlsErrorText("TLS: cannot create a context"));
    TTlsContext owner(context, ssl.SSL_CTX_free);
    // TLS 1.2 exactly. FTP's data connections must resume the control connection's session
    // (vsftpd refuses them otherwise); a TLS 1.3 session ticket is good for one resumption
    // only, so the second transfer of a session would be refused. TLS 1.2 sessions resume
    // any number of times.
    ssl.SetMinProtoVersion(context, TLS1_2_VERSION);
    ssl.SetMaxProtoVersion(context, TLS1_2_VERSION);
    ssl.SSL_CTX_set_options(context, SSL_OP_NO_COMPRESSION);
    ssl.SetSessionCacheMode(context, SSL_SESS_CACHE_CLIENT);
    if (ssl.SSL_CTX_set_default_verify_paths(context) != 1)
        ssl.ERR_clear_error(); // no trust store: nothing verifies, pinning still works
    return owner;
}

std::string TakeTlsErrorText(const std::string &Fallback)
{
    const TOpenSslLibrary &ssl = OpenSsl();
    const unsigned long code = ssl.ERR_get_error();
    ssl.ERR_clear_error();
    if (code == 0)
        return Fallback;
    char text[256];
    ssl.ERR_error_string_n(code, text, sizeof text);
    return text;
}

} // namespace tarn
