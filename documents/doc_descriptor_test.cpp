#include "documents/doc_descriptor.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "values/crc.h"

namespace {

TEST(DocDescriptor, Fields_AtTheirOffsetsLittleEndian) {
  DocDescriptor descriptor;
  descriptor.setType(5);
  descriptor.setDocumentNumber(0x01020304);
  descriptor.setDateTime(0x05060708);
  descriptor.setShiftNumber(0x090A);
  descriptor.setFiscalSign(0x0B0C0D0E);
  descriptor.setCashierNumber(0x0F);
  descriptor.setDataLength(0x1011);
  descriptor.setDataOffset(0x1213141516171819);
  descriptor.setDataCheckValue(0x1A1B);
  descriptor.setFiscalizationNumber(0x1C1D1E1F);

  const bytes::Bytes expected = {0x05, 0x04, 0x03, 0x02, 0x01, 0x08, 0x07, 0x06, 0x05, 0x0A, 0x09,
                                 0x0E, 0x0D, 0x0C, 0x0B, 0x0F, 0x11, 0x10, 0x19, 0x18, 0x17, 0x16,
                                 0x15, 0x14, 0x13, 0x12, 0x1B, 0x1A, 0x1F, 0x1E, 0x1D, 0x1C};
  const bytes::View raw = descriptor.bytes();
  ASSERT_EQ(raw.size(), 64u);
  EXPECT_EQ(bytes::Bytes(raw.begin(), raw.begin() + 32), expected);
  for (std::size_t i = 32; i < 64; ++i) EXPECT_EQ(raw[i], 0) << "byte " << i;
  EXPECT_EQ(descriptor.dataOffset(), 0x1213141516171819u);
  EXPECT_EQ(DocDescriptor::fromBytes(raw), descriptor);
}

TEST(DocDescriptor, HeaderCheckValue_CoversFiscalizationNumberAsZero) {
  DocDescriptor descriptor;
  descriptor.setType(2);
  descriptor.setDocumentNumber(9);
  descriptor.setFiscalizationNumber(7);
  descriptor.sealHeader();

  bytes::Bytes covered(descriptor.bytes().begin(), descriptor.bytes().begin() + 38);
  EXPECT_EQ(covered[28], 7);
  covered[28] = 0;
  EXPECT_EQ(descriptor.headerCheckValue(), crc::crc16(covered));
  EXPECT_EQ(descriptor.bytes()[38], static_cast<std::uint8_t>(crc::crc16(covered)));
  EXPECT_EQ(descriptor.bytes()[39], static_cast<std::uint8_t>(crc::crc16(covered) >> 8));

  DocDescriptor otherFiscalization = descriptor;
  otherFiscalization.setFiscalizationNumber(8);
  EXPECT_EQ(otherFiscalization.computeHeaderCheckValue(), descriptor.headerCheckValue());
}

TEST(DocDescriptor, FromBytes_WrongSize_Throws) {
  EXPECT_THROW(DocDescriptor::fromBytes(bytes::Bytes(63)), std::invalid_argument);
}

}  // namespace
