/** The start-up bench's yardstick: the least a Java program does. */
public final class Hello {
  private Hello() {}

  public static void main(String[] args) { System.out.println("hello"); }
}
