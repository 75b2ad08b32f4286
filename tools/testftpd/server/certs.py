"""Certificates made at start for a TLS server run, so that no private key lives in the tree.

`make` writes into one folder: key.pem (the server's key, mode 0600), cert.pem (its
certificate), ca.pem (the certificate that signed it: a local CA's, or for a self-signed
certificate the certificate itself) and fingerprint (the SHA-256 fingerprint of cert.pem as
`openssl x509 -noout -fingerprint -sha256` prints it: upper-case hex pairs joined by colons).
"""

import datetime
import ipaddress
import os

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID


def _name(common_name):
    return x509.Name([x509.NameAttribute(NameOID.ORGANIZATION_NAME, "Tarn tests"),
                      x509.NameAttribute(NameOID.COMMON_NAME, common_name)])


def _alt_name(host):
    try:
        return x509.IPAddress(ipaddress.ip_address(host))
    except ValueError:
        return x509.DNSName(host)


def _build(subject, issuer, public_key, signing_key, start, end, is_ca, hosts=()):
    builder = (x509.CertificateBuilder()
               .subject_name(subject).issuer_name(issuer).public_key(public_key)
               .serial_number(x509.random_serial_number())
               .not_valid_before(start).not_valid_after(end)
               .add_extension(x509.BasicConstraints(ca=is_ca, path_length=None), critical=True))
    if is_ca:
        builder = builder.add_extension(
            x509.KeyUsage(digital_signature=True, key_cert_sign=True, crl_sign=True,
                          content_commitment=False, key_encipherment=False,
                          data_encipherment=False, key_agreement=False,
                          encipher_only=False, decipher_only=False), critical=True)
    else:
        builder = (builder
                   .add_extension(x509.SubjectAlternativeName([_alt_name(h) for h in hosts]),
                                  critical=False)
                   .add_extension(x509.ExtendedKeyUsage([ExtendedKeyUsageOID.SERVER_AUTH]),
                                  critical=False))
    return builder.sign(signing_key, hashes.SHA256())


def fingerprint(cert_pem):
    """The SHA-256 fingerprint of the first certificate in `cert_pem` (bytes)."""
    cert = x509.load_pem_x509_certificate(cert_pem)
    return ":".join("%02X" % b for b in cert.fingerprint(hashes.SHA256()))


def _write(path, data, mode=0o644):
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, mode)
    with os.fdopen(fd, "wb") as f:
        f.write(data)


def make(folder, hosts, issuer="self", expired=False):
    """Makes a server certificate for `hosts` (names and IP addresses; the first is its
    common name), self-signed or signed by a new local CA, valid now or expired a day ago.
    Returns the paths of cert.pem and key.pem."""
    os.makedirs(folder, exist_ok=True)
    now = datetime.datetime.now(datetime.timezone.utc)
    day = datetime.timedelta(days=1)
    start, end = (now - 30 * day, now - day) if expired else (now - day, now + 30 * day)
    key = ec.generate_private_key(ec.SECP256R1())
    subject = _name(hosts[0])
    if issuer == "ca":
        ca_key = ec.generate_private_key(ec.SECP256R1())
        ca_name = _name("testftpd local CA")
        ca = _build(ca_name, ca_name, ca_key.public_key(), ca_key, now - day, now + 60 * day,
                    True)
        cert = _build(subject, ca_name, key.public_key(), ca_key, start, end, False, hosts)
    else:
        cert = _build(subject, subject, key.public_key(), key, start, end, False, hosts)
        ca = cert
    cert_pem = cert.public_bytes(serialization.Encoding.PEM)
    cert_path, key_path = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
    _write(key_path, key.private_bytes(serialization.Encoding.PEM,
                                       serialization.PrivateFormat.PKCS8,
                                       serialization.NoEncryption()), 0o600)
    _write(cert_path, cert_pem)
    _write(os.path.join(folder, "ca.pem"), ca.public_bytes(serialization.Encoding.PEM))
    return cert_path, key_path


def describe(folder, cert_path):
    """Writes the fingerprint of the certificate the server presents into `folder`."""
    with open(cert_path, "rb") as f:
        _write(os.path.join(folder, "fingerprint"), (fingerprint(f.read()) + "\n").encode())
