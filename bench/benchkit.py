"""What the bench scripts share."""

import subprocess


def stop(process, grace_s=30):
    """Ends a program the script started: SIGTERM, then SIGKILL after the grace time."""
    process.terminate()
    try:
        process.wait(timeout=grace_s)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
