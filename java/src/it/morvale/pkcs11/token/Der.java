package it.morvale.pkcs11.token;

import java.io.ByteArrayOutputStream;
import java.math.BigInteger;
import java.security.SignatureException;
import java.util.Arrays;

/**
 * The few DER shapes that tokens and Java disagree on: EC signatures (the token's r‖s, Java's
 * SEQUENCE of two INTEGERs) and the OCTET STRING around an EC point.
 */
public final class Der {
  private Der() {}

  /** An ECDSA signature r‖s (two halves of equal length) as DER. */
  public static byte[] ecdsaToDer(byte[] rs) throws SignatureException {
    if (rs.length == 0 || rs.length % 2 != 0) {
      throw new SignatureException("an ECDSA signature of odd length " + rs.length);
    }
    int half = rs.length / 2;
    byte[] r = new BigInteger(1, Arrays.copyOfRange(rs, 0, half)).toByteArray();
    byte[] s = new BigInteger(1, Arrays.copyOfRange(rs, half, rs.length)).toByteArray();
    ByteArrayOutputStream body = new ByteArrayOutputStream();
    element(body, 0x02, r);
    element(body, 0x02, s);
    ByteArrayOutputStream out = new ByteArrayOutputStream();
    element(out, 0x30, body.toByteArray());
    return out.toByteArray();
  }

  /** A DER ECDSA signature as r‖s, each half `fieldBytes` long. */
  public static byte[] ecdsaFromDer(byte[] der, int fieldBytes) throws SignatureException {
    try {
      Reader sequence = new Reader(new Reader(der).take(0x30));
      BigInteger r = new BigInteger(sequence.take(0x02));
      BigInteger s = new BigInteger(sequence.take(0x02));
      if (sequence.more() || r.signum() <= 0 || s.signum() <= 0) {
        throw new SignatureException("not a DER ECDSA signature");
      }
      byte[] rs = new byte[2 * fieldBytes];
      put(r, rs, 0, fieldBytes);
      put(s, rs, fieldBytes, fieldBytes);
      return rs;
    } catch (IllegalArgumentException e) {
      throw new SignatureException("not a DER ECDSA signature", e);
    }
  }

  /** The content of a DER OCTET STRING. */
  static byte[] octetString(byte[] der) {
    try {
      Reader reader = new Reader(der);
      byte[] content = reader.take(0x04);
      return reader.more() ? new byte[0] : content;
    } catch (IllegalArgumentException e) {
      return new byte[0];
    }
  }

  private static void put(BigInteger value, byte[] out, int offset, int length)
      throws SignatureException {
    byte[] bytes = value.toByteArray();
    int skip = bytes.length > length && bytes[0] == 0 ? 1 : 0;
    if (bytes.length - skip > length) throw new SignatureException("ECDSA value too long");
    System.arraycopy(
        bytes, skip, out, offset + length - (bytes.length - skip), bytes.length - skip);
  }

  private static void element(ByteArrayOutputStream out, int tag, byte[] content) {
    out.write(tag);
    int n = content.length;
    if (n < 0x80) {
      out.write(n);
    } else if (n < 0x100) {
      out.write(0x81);
      out.write(n);
    } else {
      out.write(0x82);
      out.write(n >> 8);
      out.write(n);
    }
    out.write(content, 0, n);
  }

  /** Reads DER elements one after another; IllegalArgumentException on malformed input. */
  private static final class Reader {
    private final byte[] in;
    private int at;

    Reader(byte[] in) { this.in = in; }

    boolean more() { return at < in.length; }

    byte[] take(int tag) {
      if (at + 2 > in.length || (in[at] & 0xFF) != tag) throw new IllegalArgumentException();
      int length = in[at + 1] & 0xFF;
      at += 2;
      if (length >= 0x80) {
        int count = length & 0x7F;
        if (count == 0 || count > 3 || at + count > in.length) throw new IllegalArgumentException();
        length = 0;
        for (int i = 0; i < count; ++i) length = (length << 8) | (in[at++] & 0xFF);
      }
      if (length > in.length - at) throw new IllegalArgumentException();
      byte[] content = Arrays.copyOfRange(in, at, at + length);
      at += length;
      return content;
    }
  }
}
