/* String table identifiers of setup.exe.
 *
 * Shared by the C++ sources and by the resource compiler, so this file holds
 * nothing but #define lines. Each comment gives the English text (C escapes,
 * long texts cut short). Texts are looked up block by block (sixteen ids to a
 * block), so every language in strings.rc defines exactly the same ids.
 */
#ifndef SETUP_STRING_IDS_H
#define SETUP_STRING_IDS_H

/* Prerequisite dialogs, messages of the installation run */
#define IDS_PREREQ_HEADING               129  /* "%s requires the following components to be installed:" */
#define IDS_BUTTON_INSTALL               130  /* "&Install" */
#define IDS_BUTTON_CANCEL                131  /* "&Cancel" */
#define IDS_PRODUCT_TITLE                132  /* "%s (%s) Setup" */
#define IDS_FILE_NOT_FOUND               133  /* "Setup was unable to find the file\n'%s'." */
#define IDS_UNABLE_TO_INSTALL            134  /* "Setup was unable to install\n'%s'." */
#define IDS_INSTALLATION_ERROR           135  /* "Installation Error" */
#define IDS_INSTALLING_COMPONENT         136  /* "Installing %s.\r\nPlease wait..." */
#define IDS_USAGE_TEXT                   137  /* "Usage:\n   setup.exe /option [optional parameter]\n\nInst"... */
#define IDS_USAGE_CAPTION                138  /* "Usage Info" */
#define IDS_WINDOWS_NOT_SUPPORTED        139  /* "%s (%s) doesn't support this Windows version." */
#define IDS_ADMIN_REQUIRED               140  /* "Admin priviledges are required." */
#define IDS_BAD_OPERATION_TYPE           141  /* "The setup was authored with an incorrect operation type '"... */
#define IDS_INTERNAL_ERROR               142  /* "An irrecoverable internal error occured." */
#define IDS_NEWER_VERSION_INSTALLED      143  /* "Newer version of this product is already installed. Insta"... */
#define IDS_UPGRADE_QUESTION             144  /* "Older version of this product is already installed. Do yo"... */
#define IDS_RESTART_QUESTION             145  /* "You must restart your system for the configuration change"... */
#define IDS_APPLY_PATCH_QUESTION         146  /* "Do you want to apply patch '%s' to '%s'?" */
#define IDS_PATCH_TARGET_NOT_FOUND       147  /* "The installer cannot install the upgrade patch because th"... */
#define IDS_BUTTON_RECHECK               148  /* "&Recheck" */
#define IDS_DOWNLOAD_CAPTION             149  /* "Component Download" */
#define IDS_DOWNLOAD_INSTRUCTIONS        150  /* "Installation package for component '%s'  is missing. To i"... */
#define IDS_DOWNLOAD_LINK                151  /* "'%s' download page" */
#define IDS_CANT_READ_PACKAGE            152  /* "Can't read installation property from file:\n'%s'." */
#define IDS_UNSUPPORTED_PROCESSOR        153  /* "This installation package is not supported by this proces"... */
#define IDS_REQUIRES_32BIT_WINDOWS       154  /* "This installation package is not supported by this proces"... */
#define IDS_MISSING_COMPONENTS_HEADER    155  /* "Not installed component(s):\n" */
#define IDS_PATCH_TITLE                  156  /* "%s Update" */
#define IDS_MISSING_COMPONENT_ITEM       157  /* " - '%s'\n" */
#define IDS_CONTINUE_INSTALL_QUESTION    158  /* "\nDo you want to continue product installation?" */
#define IDS_SEND_LOG_QUESTION            159  /* "Installation failed. Product not installed.\n\nDo you wan"... */
#define IDS_UPDATE_DISABLED              160  /* "Older version of this product is already installed. Minor"... */
#define IDS_INI_NOT_FOUND                161  /* "Can't find ini file:\r\n'%s'" */
#define IDS_LOG_FILE_SUFFIX              162  /* "\r\nLog file:\r\n'%s'" */
#define IDS_WINDOWS_TOO_OLD              163  /* "Can't  itstall product.\r\nProduct can installed on %s an"... */
#define IDS_DOWNLOAD_INSTRUCTIONS_CHOOSE 164  /* "Installation package for component '%s' is missing. To in"... */
#define IDS_ERROR                        165  /* "Error" */
#define IDS_NO_UPDATE_PARAMS             167  /* "Can't find update parameter for prerequisite '%s'.\r\n\r\"... */

/* Deployment wizard */
#define IDS_BUTTON_DEPLOY                168  /* "&Deploy" */
#define IDS_BUTTON_COMPLETE              169  /* "&Complete" */
#define IDS_DEPLOY_WELCOME_TITLE         170  /* "Welcome to the %s Deployment Wizard" */
#define IDS_DEPLOY_WELCOME_TEXT          171  /* "Deployment program copy %s. Click Next to continue, or cl"... */
#define IDS_DEPLOY_FOLDER_TITLE          172  /* "Destination folder" */
#define IDS_DEPLOY_FOLDER_SUBTITLE       173  /* "Select a folder and click Next to deploy %s." */
#define IDS_DEPLOY_FOLDER_LABEL          174  /* "&Deploy %s to:" */
#define IDS_DEPLOY_SELECT_FOLDER         175  /* "&Select folder..." */
#define IDS_DEPLOY_BROWSE_TITLE          176  /* "Select a folder to deploy" */
#define IDS_DEPLOY_CANCEL_QUESTION       177  /* "Do you really want to cancel the deployment of\n%s?" */
#define IDS_DEPLOY_LICENSE_TITLE         178  /* "License agreement" */
#define IDS_DEPLOY_LICENSE_SUBTITLE      179  /* "Please read the license agreement carefully." */
#define IDS_DEPLOY_LICENSE_OPEN_FAILED   180  /* "Cannot open license agreement file:\n'%s'.\n\n%s" */
#define IDS_DEPLOY_LICENSE_ACCEPT        181  /* " I accept the terms of the license agreement." */
#define IDS_DEPLOY_SETTINGS_TITLE        182  /* "Settings" */
#define IDS_DEPLOY_SETTINGS_SUBTITLE     183  /* "Set your preferences" */
#define IDS_DEPLOY_CAPTION               184  /* "Deployment %s" */
#define IDS_DEPLOY_COMMON_FOLDER         189  /* "Common folder" */
#define IDS_DEPLOY_READY_TITLE           191  /* "Ready to deploy %s" */
#define IDS_DEPLOY_READY_TEXT            192  /* "Click button Deploy to start the deployment %s.\nIf You w"... */
#define IDS_DEPLOY_PLEASE_WAIT           193  /* "Please wait for the program to deploy %s" */
#define IDS_DEPLOY_STATE_COPYING         194  /* "State: deployment" */
#define IDS_DEPLOY_FILE_COPIES           195  /* "File copies:" */
#define IDS_DEPLOY_CANCELED              196  /* "Deployment %s canceled" */
#define IDS_DEPLOY_COMPLETED             197  /* "Completed %s Deployment Wizard" */
#define IDS_DEPLOY_COMPLETE_TEXT         198  /* "Click the Complete button to exit the Deployment Wizard." */

/* Deployment: destination check, copy and rollback, settings */
#define IDS_DEPLOY_NOT_ENOUGH_SPACE      202  /* "There is not enough free disk space to deploy the product"... */
#define IDS_CANT_CREATE_FOLDER           203  /* "Cannot create folder '%s'.\n\n%s" */
#define IDS_DEPLOY_FOLDER_NOT_AVAILABLE  204  /* "The selected folder '%s' is not available for copying.\n\n%s" */
#define IDS_CANT_COPY_FILE               205  /* "Can't copy file:\nfrom '%s'\nto   '%s'\n\n%s" */
#define IDS_DEPLOY_STATE_ROLLBACK        206  /* "State: rollback" */
#define IDS_DEPLOY_DELETE_FILE           207  /* "Delete file:" */
#define IDS_CANT_WRITE_FILE              208  /* "Cannot write to file\n'%s'.\n\n%s" */

/* Single instance */
#define IDS_ALREADY_RUNNING              209  /* "Installation '%s' already run." */

/* Prerequisite dialogs: uninstall entries */
#define IDS_PREREQ_STEPS_HEADING         254  /* "%s setup requires the following steps to be executed:" */
#define IDS_PREFIX_INSTALL               255  /* "Install " */
#define IDS_PREFIX_UNINSTALL             256  /* "Uninstall " */
#define IDS_BUTTON_CONTINUE              257  /* "Co&ntinue" */

/* Deployment wizard: log page */
#define IDS_DEPLOY_LOG_TITLE             258  /* "Collection of information about user activity" */
#define IDS_DEPLOY_LOG_SUBTITLE          259  /* "Select option to upload information about user activity -"... */
#define IDS_DEPLOY_LOG_DESCRIPTION       260  /* "Log files contain only information about the commands use"... */
#define IDS_DEPLOY_LOG_SHIPPING          261  /* "Shipping log files to the server of the company"... */
#define IDS_DEPLOY_LOG_CHOICES           262  /* "Not upload; Upload without informing; Upload with informi"... */

#endif /* SETUP_STRING_IDS_H */
