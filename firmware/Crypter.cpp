#include "firmware/Crypter.h"

namespace tarnovelle
{

Crypter::Crypter (const uint8* key, int keyLength)
{
    if (key != nullptr && keyLength > 0)
        mKey.assign (key, key + keyLength);

    if (! mKey.empty())
        mPosition = (size_t) firstKeyByte % mKey.size();
}

void Crypter::apply (uint8* buffer, size_t count) noexcept
{
    // An empty key leaves the bytes as they are rather than dividing by zero.
    if (mKey.empty() || buffer == nullptr)
        return;

    for (size_t i = 0; i < count; ++i)
    {
        buffer[i] = (uint8) (buffer[i] ^ mKey[mPosition]);

        if (++mPosition == mKey.size())
            mPosition = 0;
    }
}

} // namespace tarnovelle
