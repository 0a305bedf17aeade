import sys

import _orlim


def main() -> None:
    _orlim.cli(sys.argv)


if __name__ == "__main__":
    main()
