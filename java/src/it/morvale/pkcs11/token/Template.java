package it.morvale.pkcs11.token;

import java.util.ArrayList;
import java.util.List;

/**
 * An attribute template: types with their values, in the order added. Values are the Java
 * classes that the bridge converts: {@code String}, {@code byte[]}, {@code Integer}, {@code
 * Boolean}, {@code BigInteger} and {@code Date}.
 */
public final class Template {
  private final List<Integer> types = new ArrayList<>();
  private final List<Object> values = new ArrayList<>();

  public Template add(int type, Object value) {
    types.add(type);
    values.add(value);
    return this;
  }

  /**
   * Adds a CK_ULONG attribute as the module reads it, bytes in the platform's order and width: an
   * {@code Integer} value reaches the module sign-extended, which turns a number with the top bit
   * set, such as a vendor-defined class, into another one where CK_ULONG has 64 bits.
   */
  public Template addUnsigned(int type, int value) {
    boolean windows = System.getProperty("os.name", "").startsWith("Windows");
    java.nio.ByteBuffer bytes =
        java.nio.ByteBuffer.allocate(windows ? 4 : 8).order(java.nio.ByteOrder.nativeOrder());
    if (windows) {
      bytes.putInt(value);
    } else {
      bytes.putLong(Integer.toUnsignedLong(value));
    }
    return add(type, bytes.array());
  }

  /** Adds the attribute only when `value` is not null. */
  public Template addIfPresent(int type, Object value) {
    return value == null ? this : add(type, value);
  }

  public int size() { return types.size(); }

  public int[] types() { return types.stream().mapToInt(Integer::intValue).toArray(); }

  public Object[] values() { return values.toArray(); }
}
