// Reading the module's replies: numbers against strtoll, the "?" and
// acknowledgement replies, the address echo, the identification fields and
// their split for writing, and the binary measured value against its
// encoding; the measured value of a simulated module at a drawn signal read
// back from its text and its binary reply, with and without the check byte.
#include "FuzzInput.h"

#include "module/ModuleCommand.h"
#include "module/ModuleReply.h"
#include "sim/SimModule.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>

namespace {

// atoi's reading on 64 bits, clamped to 32.
int ReferenceAtoi(const QByteArray& reply)
{
    const std::string text(reply.constData(), static_cast<size_t>(reply.size()));
    const long long nValue = std::strtoll(text.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long long>(nValue, INT_MIN, INT_MAX));
}

QByteArray Encode(qint32 nValue, bool bChecksum)
{
    const auto nBits = static_cast<quint32>(nValue) & 0xFFFFFFu;
    QByteArray reply(6, '\0');
    reply[0] = static_cast<char>(nBits >> 16);
    reply[1] = static_cast<char>(nBits >> 8);
    reply[2] = static_cast<char>(nBits);
    reply[3] = bChecksum ? static_cast<char>(reply[0] ^ reply[1] ^ reply[2]) : '\0';
    reply[4] = '\r';
    reply[5] = '\n';
    return reply;
}

void CheckIdentification(const QByteArray& reply)
{
    const QList<QByteArray> fields = CModuleReply::IdentificationFields(reply);
    FUZZ_CHECK(fields.size() == 4);
    // Without the separators at 3, 19 and 27, the fields are the reply's
    // first 31 characters.
    QByteArray expected = reply.left(31);
    for (const qsizetype nSeparator : {27, 19, 3}) {
        if (nSeparator < expected.size())
            expected.remove(nSeparator, 1);
    }
    FUZZ_CHECK(fields.join() == expected);
    const QByteArray text = CModuleReply::IdentificationText(reply);
    FUZZ_CHECK(text.size() <= CModuleReply::kMaxIdentificationLen && reply.startsWith(text));

    QByteArray field2;
    QByteArray field3;
    const bool bSplit = CModuleReply::SplitForWrite(reply, field2, field3);
    FUZZ_CHECK(bSplit == (reply.count(',') >= 2));
    if (!bSplit)
        return;
    FUZZ_CHECK(field2.size() <= CModuleReply::kField2MaxLen && !field2.contains(','));
    FUZZ_CHECK(field3.size() <= CModuleReply::kField3MaxLen && !field3.contains(','));
    const qsizetype nFirst = reply.indexOf(',');
    const qsizetype nSecond = reply.indexOf(',', nFirst + 1);
    FUZZ_CHECK(reply.mid(nFirst + 1).startsWith(field2));
    FUZZ_CHECK(reply.mid(nSecond + 1).startsWith(field3));
    const ModuleRequest request = CModuleCommand::WriteIdentification(1, field2, field3);
    FUZZ_CHECK(request.m_text == "S01;IDN\"" + field2 + "\",\"" + field3 + "\";");
}

void CheckSimulatedValue(qint32 nRaw, bool bBinary, bool bChecksum)
{
    CSimModule module(1, SimOptions());
    module.SetRaw(nRaw);
    const auto noAddressFree = [](int) { return false; };
    module.RunFrame({bBinary ? "COF8" : "COF0", bChecksum ? "CSM1" : "CSM0"}, 0, noAddressFree);
    const QByteArray reply = module.RunFrame({"MSV?"}, 0, noAddressFree).m_reply;
    const qint32 nValue = module.ValueAt(0);
    if (!bBinary) {
        FUZZ_CHECK(CModuleReply::Atoi(reply) == nValue);
        return;
    }
    qint32 nDecoded = 0;
    FUZZ_CHECK(CModuleReply::DecodeMeasuredValue(reply, bChecksum, nDecoded));
    FUZZ_CHECK(nDecoded == std::clamp(nValue, -0x800000, 0x7FFFFF));
    if (bChecksum) {
        QByteArray damaged = reply;
        damaged[3] = static_cast<char>(damaged[3] ^ 0x01);
        FUZZ_CHECK(CModuleReply::CheckMeasuredValue(damaged, true, nDecoded) ==
                   CModuleReply::ValueReply::BadCheckByte);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    CFuzzInput input(pData, nSize);
    const int nAddress = static_cast<int>(input.Range(-5, 120));
    const qint32 nValue = static_cast<qint32>(input.Range(-0x800000, 0x7FFFFF));
    const bool bChecksum = input.Bool();
    const auto nRaw = static_cast<qint32>(input.Range(INT32_MIN, INT32_MAX));
    const bool bBinary = input.Bool();
    const QByteArray reply = input.Rest();
    CheckSimulatedValue(nRaw, bBinary, bChecksum);

    FUZZ_CHECK(CModuleReply::Atoi(reply) == ReferenceAtoi(reply));
    FUZZ_CHECK(CModuleReply::IsUnsupported(reply) == (reply == "?\r\n"));
    FUZZ_CHECK(CModuleReply::IsAcknowledged(reply) ==
               (reply.size() >= 3 && reply[0] == '0' && reply[1] == '\r' && reply[2] == '\n'));
    const bool bEcho = CModuleReply::IsAddressEcho(reply, nAddress);
    FUZZ_CHECK(bEcho == (reply == QString::asprintf("%.2d\r\n", nAddress).toLatin1()));
    if (bEcho)
        FUZZ_CHECK(CModuleReply::Atoi(reply) == nAddress);
    CheckIdentification(reply);

    // The measured value: what decodes re-encodes to the same bytes, a wrong
    // check byte is told apart, and every value survives its encoding.
    qint32 nDecoded = 0;
    const auto verdict = CModuleReply::CheckMeasuredValue(reply, bChecksum, nDecoded);
    FUZZ_CHECK((verdict == CModuleReply::ValueReply::TooShort) == (reply.size() < 6));
    if (verdict == CModuleReply::ValueReply::Decoded) {
        FUZZ_CHECK(nDecoded >= -0x800000 && nDecoded <= 0x7FFFFF);
        const QByteArray again = Encode(nDecoded, true);
        FUZZ_CHECK(again.left(3) == reply.left(3));
        if (bChecksum)
            FUZZ_CHECK(again[3] == reply[3]);
    } else if (verdict == CModuleReply::ValueReply::BadCheckByte) {
        FUZZ_CHECK(bChecksum && static_cast<char>(reply[0] ^ reply[1] ^ reply[2]) != reply[3]);
    }
    qint32 nBack = 0;
    FUZZ_CHECK(CModuleReply::DecodeMeasuredValue(Encode(nValue, bChecksum), bChecksum, nBack));
    FUZZ_CHECK(nBack == nValue);
    return 0;
}
