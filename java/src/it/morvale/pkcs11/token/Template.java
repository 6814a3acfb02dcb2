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

  /** Adds the attribute only when `value` is not null. */
  public Template addIfPresent(int type, Object value) {
    return value == null ? this : add(type, value);
  }

  public int size() { return types.size(); }

  public int[] types() { return types.stream().mapToInt(Integer::intValue).toArray(); }

  public Object[] values() { return values.toArray(); }
}
