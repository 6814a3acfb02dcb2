package it.morvale.pkcs11.token;

import java.math.BigInteger;
import java.security.SignatureException;
import java.util.Arrays;

/**
 * The few DER shapes that tokens and Java disagree on: EC signatures (the token's r‖s, Java's
 * SEQUENCE of two INTEGERs) and the OCTET STRING around an EC point.
 */
public final class Der {
  private Der() {}

  /**
   * An ECDSA signature r‖s (two halves of equal length) as DER, written straight into an array
   * of its final size: every signature of the provider passes through here.
   */
  public static byte[] ecdsaToDer(byte[] rs) throws SignatureException {
    if (rs.length == 0 || rs.length % 2 != 0) {
      throw new SignatureException("an ECDSA signature of odd length " + rs.length);
    }
    int half = rs.length / 2;
    int rFrom = significant(rs, 0, half);
    int sFrom = significant(rs, half, rs.length);
    int rLength = integerLength(rs, rFrom, half);
    int sLength = integerLength(rs, sFrom, rs.length);
    int body = headerLength(rLength) + rLength + headerLength(sLength) + sLength;
    byte[] der = new byte[headerLength(body) + body];
    int at = header(der, 0, 0x30, body);
    at = integer(der, at, rs, rFrom, half, rLength);
    integer(der, at, rs, sFrom, rs.length, sLength);
    return der;
  }

  /**
   * Where the unsigned number in bytes[from, to) starts without leading zeros (zero keeps a byte).
   */
  private static int significant(byte[] bytes, int from, int to) {
    while (from < to - 1 && bytes[from] == 0) ++from;
    return from;
  }

  /** The content length of the INTEGER: the bytes, and a zero before a leading high bit. */
  private static int integerLength(byte[] bytes, int from, int to) {
    return to - from + ((bytes[from] & 0x80) != 0 ? 1 : 0);
  }

  private static int headerLength(int length) { return length < 0x80 ? 2 : length < 0x100 ? 3 : 4; }

  /** Writes a tag and a DER length at `at`; returns where the content goes. */
  private static int header(byte[] out, int at, int tag, int length) {
    out[at++] = (byte) tag;
    if (length >= 0x100) {
      out[at++] = (byte) 0x82;
      out[at++] = (byte) (length >> 8);
    } else if (length >= 0x80) {
      out[at++] = (byte) 0x81;
    }
    out[at++] = (byte) length;
    return at;
  }

  /** The DER element of `tag` around `content`. */
  static byte[] element(int tag, byte[] content) {
    byte[] out = new byte[headerLength(content.length) + content.length];
    System.arraycopy(content, 0, out, header(out, 0, tag, content.length), content.length);
    return out;
  }

  /** Writes the INTEGER of the unsigned number in bytes[from, to); returns where it ends. */
  private static int integer(byte[] out, int at, byte[] bytes, int from, int to, int length) {
    at = header(out, at, 0x02, length);
    if (length > to - from) out[at++] = 0;
    System.arraycopy(bytes, from, out, at, to - from);
    return at + to - from;
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
