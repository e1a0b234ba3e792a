// Exact decimal expansion of a double: mantissa x 5^decimals x 2^(exponent + decimals), rounded.
#include "params/fixed_decimal.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr int kLimbs = 40;  // 1,280 bits: 2^1024 x 10^20 needs about 1,091

// An unsigned integer in 32-bit limbs, least significant first.
struct BigInteger {
    uint32_t limb[kLimbs];
    int count;  // limbs in use; 0 for zero
};

void setValue(BigInteger& x, uint64_t value) {
    x.count = 0;
    while (value != 0) {
        x.limb[x.count++] = static_cast<uint32_t>(value);
        value >>= 32;
    }
}

void multiplySmall(BigInteger& x, uint32_t factor) {
    uint64_t carry = 0;
    for (int i = 0; i < x.count; ++i) {
        const uint64_t product = static_cast<uint64_t>(x.limb[i]) * factor + carry;
        x.limb[i] = static_cast<uint32_t>(product);
        carry = product >> 32;
    }
    if (carry != 0) x.limb[x.count++] = static_cast<uint32_t>(carry);
}

// x = x / divisor; returns the remainder.
uint32_t divideSmall(BigInteger& x, uint32_t divisor) {
    uint64_t remainder = 0;
    for (int i = x.count - 1; i >= 0; --i) {
        const uint64_t current = (remainder << 32) | x.limb[i];
        x.limb[i] = static_cast<uint32_t>(current / divisor);
        remainder = current % divisor;
    }
    while (x.count > 0 && x.limb[x.count - 1] == 0) --x.count;
    return static_cast<uint32_t>(remainder);
}

void shiftLeft(BigInteger& x, int bits) {
    for (; bits >= 31; bits -= 31) multiplySmall(x, 1u << 31);
    if (bits > 0) multiplySmall(x, 1u << bits);
}

bool bitAt(const BigInteger& x, int bit) {
    const int index = bit / 32;
    return index < x.count && ((x.limb[index] >> (bit % 32)) & 1u) != 0;
}

bool anyBitBelow(const BigInteger& x, int bit) {
    for (int i = 0; i < bit / 32 && i < x.count; ++i) {
        if (x.limb[i] != 0) return true;
    }
    const int index = bit / 32;
    return index < x.count && (x.limb[index] & ((1u << (bit % 32)) - 1u)) != 0;
}

void shiftRight(BigInteger& x, int bits) {
    const int whole = bits / 32;
    const int part = bits % 32;
    if (whole >= x.count) {
        x.count = 0;
        return;
    }
    for (int i = 0; i + whole < x.count; ++i) {
        uint64_t value = x.limb[i + whole] >> part;
        if (part != 0 && i + whole + 1 < x.count) value |= static_cast<uint64_t>(x.limb[i + whole + 1]) << (32 - part);
        x.limb[i] = static_cast<uint32_t>(value);
    }
    x.count -= whole;
    while (x.count > 0 && x.limb[x.count - 1] == 0) --x.count;
}

void addOne(BigInteger& x) {
    for (int i = 0; i < x.count; ++i) {
        if (++x.limb[i] != 0) return;
    }
    x.limb[x.count++] = 1;
}

std::size_t copyOut(char* out, std::size_t size, const char* text, std::size_t length) {
    if (length + 1 > size) {
        out[0] = '\0';
        return 0;
    }
    std::memcpy(out, text, length);
    out[length] = '\0';
    return length;
}

}  // namespace

std::size_t formatFixedDecimal(char* out, std::size_t size, double value, int decimals) {
    if (out == nullptr || size == 0) return 0;
    if (decimals < 0) decimals = 0;
    if (decimals > 20) decimals = 20;
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    const bool negative = (bits >> 63) != 0;
    const int biased = static_cast<int>((bits >> 52) & 0x7FF);
    const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
    if (biased == 0x7FF) {
        const char* name = fraction != 0 ? (negative ? "-nan" : "nan") : (negative ? "-inf" : "inf");
        return copyOut(out, size, name, std::strlen(name));
    }
    // value = mantissa x 2^exponent exactly
    const uint64_t mantissa = biased == 0 ? fraction : fraction | (uint64_t{1} << 52);
    const int exponent = (biased == 0 ? 1 : biased) - 1075;

    // N = round(mantissa x 5^decimals x 2^(exponent + decimals)), half to even
    BigInteger n;
    setValue(n, mantissa);
    for (int i = 0; i < decimals; ++i) multiplySmall(n, 5);
    const int shift = exponent + decimals;
    if (shift >= 0) {
        shiftLeft(n, shift);
    } else {
        const int drop = -shift;
        const bool half = bitAt(n, drop - 1);
        const bool rest = anyBitBelow(n, drop - 1);
        shiftRight(n, drop);
        if (half && (rest || bitAt(n, 0))) addOne(n);
    }

    // Digits, least significant first, then at least decimals + 1 of them with the point.
    char digits[400];
    int count = 0;
    while (n.count > 0) digits[count++] = static_cast<char>('0' + divideSmall(n, 10));
    while (count < decimals + 1) digits[count++] = '0';
    char text[420];
    std::size_t length = 0;
    if (negative) text[length++] = '-';
    for (int i = count - 1; i >= 0; --i) {
        if (i == decimals - 1) text[length++] = '.';
        text[length++] = digits[i];
    }
    return copyOut(out, size, text, length);
}
