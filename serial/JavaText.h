// Text handed to the Java host.
//
// Purpose: the library's texts (system error messages, port names) are
// UTF-8; Java strings are UTF-16. Converting here, and creating strings with
// NewString, means no byte sequence from the system can reach the JVM's
// modified-UTF-8 reader, which treats malformed input as a fatal error under
// -Xcheck:jni and garbles it otherwise.
//
// Thread rules: pure; any thread.
//
// Errors: none. Malformed UTF-8 becomes U+FFFD, one per offending byte.
// Modified UTF-8 (C0 80 for NUL, surrogates as 3-byte sequences) is
// accepted too, since port names come from GetStringUTFChars.
#pragma once

#include <string>
#include <string_view>

namespace serialkvl {

std::u16string Utf8ToUtf16(std::string_view text);

}  // namespace serialkvl
