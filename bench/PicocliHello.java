import picocli.CommandLine;
import picocli.CommandLine.Command;
import picocli.CommandLine.Option;

/** The start-up bench's second yardstick: picocli parsing one option, and nothing else. */
@Command(name = "hello")
public final class PicocliHello implements Runnable {
  @Option(names = "--name") String name = "hello";

  @Override
  public void run() {
    System.out.println(name);
  }

  public static void main(String[] args) {
    System.exit(new CommandLine(new PicocliHello()).execute(args));
  }
}
