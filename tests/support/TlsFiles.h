#pragma once

// What a test of a server behind TLS and passwords needs: certificates that openssl makes
// for the run (an authority, a server certificate for 127.0.0.1 and a client certificate
// it signed, and a client certificate of a stranger), and bcrypt hashes of passwords.

#include <string>

#include "tests/support/ScratchFolder.h"

namespace kv::testing {

class TestCertificates {
  public:
    // Made once for the whole test program (false Ok() when openssl failed): ca.pem,
    // server.pem/.key, client.pem/.key, stranger.pem/.key.
    static const TestCertificates& Get();
    bool Ok() const { return ok_; }
    std::string File(const std::string& name) const { return dir_.File(name); }
    // A web configuration: TLS with the server certificate, client certificates the
    // authority signed, and the user "prometheus" with a bcrypt hash of `password`.
    std::string WebConfig(const std::string& password) const;

  private:
    TestCertificates();
    ScratchFolder dir_;
    bool ok_ = false;
};

// A bcrypt hash of the password ("$2b$" or "$2y$"), of the cheapest cost: the tests check
// hashes, they protect nothing.
std::string BcryptHash(const std::string& password, const char* prefix = "$2b$");

}  // namespace kv::testing
