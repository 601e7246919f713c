#include "recovery/Md5.h"

#include <openssl/evp.h>
#include <stdexcept>

namespace tfs {

namespace {
EVP_MD_CTX* context(void* p) {
    return static_cast<EVP_MD_CTX*>(p);
}
} // namespace

Md5::Md5() : context_(EVP_MD_CTX_new()) {
    if (!context_ || EVP_DigestInit_ex(context(context_), EVP_md5(), nullptr) != 1)
        throw std::bad_alloc();
}

Md5::~Md5() {
    EVP_MD_CTX_free(context(context_));
}

Md5::Md5(const Md5& other) : context_(EVP_MD_CTX_new()) {
    if (!context_ || EVP_MD_CTX_copy_ex(context(context_), context(other.context_)) != 1)
        throw std::bad_alloc();
}

void Md5::add(const void* bytes, qint64 count) {
    if (count > 0) EVP_DigestUpdate(context(context_), bytes, size_t(count));
}

void Md5::addZeros(qint64 count) {
    static const char zeros[4096] = {};
    while (count > 0) {
        const qint64 n = qMin<qint64>(count, sizeof zeros);
        add(zeros, n);
        count -= n;
    }
}

Digest Md5::result() const {
    Md5 copy(*this);
    Digest digest{};
    unsigned int length = 0;
    EVP_DigestFinal_ex(context(copy.context_), digest.data(), &length);
    return digest;
}

Digest Md5::of(const void* bytes, qint64 count) {
    Md5 md5;
    md5.add(bytes, count);
    return md5.result();
}

QByteArray hexOf(const Digest& digest) {
    return QByteArray(reinterpret_cast<const char*>(digest.data()), 16).toHex();
}

} // namespace tfs
