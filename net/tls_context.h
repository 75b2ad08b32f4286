#pragma once

// The TLS client settings the socket layer's StartTls uses: one OpenSSL context per FTP session.

#include <memory>
#include <string>

struct ssl_ctx_st;

namespace tarn {

using TTlsContext = std::shared_ptr<ssl_ctx_st>;

// A client context: TLS 1.2 (see tls_context.cpp for why not 1.3), the system's trust store
// (SSL_CERT_FILE and SSL_CERT_DIR override it, as everywhere in OpenSSL), no compression,
// client-side session caching so that data connections can resume the control connection's session.
// The handshake never fails over the certificate: StartTls leaves the verdict
// (SSL_get_verify_result, with the host name checked) to the owner. Loads OpenSSL on the first
// call (openssl_library.h). Throws ESocketException when OpenSSL cannot be loaded ("TLS is not
// available: ...") or cannot make a context.
TTlsContext NewTlsClientContext();

// OpenSSL's first queued error as text (the queue is cleared), or Fallback when none is queued.
std::string TakeTlsErrorText(const std::string &Fallback);

} // namespace tarn
